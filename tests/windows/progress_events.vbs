' Progress events through Wine's ole32 and VBScript: WScript.CreateObject with a prefix
' connects the script's kiv_Progress to the object's _IPrimeEvents (found through
' IProvideClassInfo2). A 2,000-digit search reports while it runs and still finds its pair; a
' handler that sets its last argument cancels a 5,000-digit search, which then fails with
' E_ABORT and its text, and the object serves the next call.
' Prints one line per failed check and exits with the number of failures; exits 77 (skipped)
' when the script host cannot connect events at all: Wine 8's wscript implements neither
' WScript.CreateObject with a prefix nor WScript.ConnectObject (both answer error 445,
' "Object doesn't support this action"; kiv_events_client.exe proves the events there).
Option Explicit
On Error Resume Next

Dim failures: failures = 0

Sub Check(ok, what)
    If Not ok Then
        WScript.Echo "FAIL: " & what
        failures = failures + 1
    End If
End Sub

Dim events: events = 0
Dim lastDone: lastDone = -1
Dim monotone: monotone = True
Dim firstActivity: firstActivity = ""
Dim cancelAt: cancelAt = 0

Sub kiv_Progress(activity, unit, done, expected, elapsed, current, cancel)
    events = events + 1
    If events = 1 Then firstActivity = activity & " (" & unit & ")"
    If done < lastDone Then monotone = False
    lastDone = done
    If cancelAt > 0 And events >= cancelAt Then cancel = True
End Sub

Dim prime: Set prime = WScript.CreateObject("kiv.Prime", "kiv_")
If Err.Number = 445 Then
    WScript.Echo "SKIP: this script host cannot connect events: WScript.CreateObject(""kiv.Prime"", ""kiv_""): error " & Err.Number & " " & Err.Description
    WScript.Quit 77
End If
If Err.Number <> 0 Then
    WScript.Echo "FAIL: WScript.CreateObject(""kiv.Prime"", ""kiv_""): error " & Hex(Err.Number) & " " & Err.Description
    WScript.Quit 1
End If

' 2 followed by 1,999 zeros: its search takes seconds.
Dim n2000: n2000 = "2" & String(1999, "0")
Dim pair: Set pair = prime.FindGoldbachPair(n2000)
Check Err.Number = 0, "FindGoldbachPair 2,000 digits: error " & Hex(Err.Number) & " " & Err.Description
Err.Clear
Check pair.Found, "FindGoldbachPair 2,000 digits: no pair"
Check events >= 1, "FindGoldbachPair 2,000 digits: no Progress event"
Check monotone, "FindGoldbachPair 2,000 digits: progress went back"
Check firstActivity = "Goldbach pair search (candidates)", "FindGoldbachPair 2,000 digits: activity '" & firstActivity & "'"
Check pair = pair.First & " + " & pair.Second, "FindGoldbachPair 2,000 digits: text '" & pair & "'"

events = 0: lastDone = -1: cancelAt = 2
Dim n5000: n5000 = "2" & String(4999, "0")
Set pair = Nothing
Set pair = prime.FindGoldbachPair(n5000)
Check Err.Number = &H80004004, "FindGoldbachPair 5,000 digits cancelled: error " & Hex(Err.Number) & " " & Err.Description
Check Err.Description = "The call was cancelled by a handler of the Progress event.", "FindGoldbachPair 5,000 digits cancelled: text '" & Err.Description & "'"
Err.Clear
Check events = 2, "FindGoldbachPair 5,000 digits cancelled: " & events & " events"

cancelAt = 0
Check prime.IsPrimeNumber("1000000007") = True, "IsPrimeNumber after the cancel"
Check Err.Number = 0, "IsPrimeNumber after the cancel: error " & Hex(Err.Number) & " " & Err.Description

WScript.Quit failures
