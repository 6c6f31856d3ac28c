' kiv from VBScript: a primality test, a Goldbach pair search that shows its progress and is
' cancelled once it runs longer than a limit, then one that is answered, and the system report.
'   cscript //nologo kiv.vbs [digits [seconds]]
' digits: the size of the even number searched (default 3000); seconds: the limit (default 5).
Option Explicit

Dim digits, limit, prime, events
digits = 3000
limit = 5
If WScript.Arguments.Count > 0 Then digits = CLng(WScript.Arguments(0))
If WScript.Arguments.Count > 1 Then limit = CDbl(WScript.Arguments(1))

' The prefix "kiv_" connects the object's events to the Subs named kiv_<event> below. A host
' that cannot connect them (Wine's cscript) refuses; the script then goes on without events,
' and without the long search, which it could neither follow nor stop.
On Error Resume Next
Set prime = WScript.CreateObject("kiv.Prime", "kiv_")
events = (Err.Number = 0)
If Not events Then
    WScript.Echo "no events: " & Err.Description
    Set prime = CreateObject("kiv.Prime")
End If
On Error GoTo 0

WScript.Echo "1000000007 is prime: " & prime.IsPrimeNumber("1000000007")

' Progress comes a few times a second while a call runs; cancel = True stops the call, which
' then fails with its own error.
Sub kiv_Progress(activity, unit, done, expected, elapsed, current, cancel)
    WScript.Echo "progress: " & activity & ", " & done & " of ~" & expected & " " & unit & _
                 ", p = " & current & ", " & FormatNumber(elapsed, 1) & " s"
    If elapsed >= limit Then cancel = True
End Sub

' "p + q", or why there is no pair.
Function Pair(number)
    Dim found
    On Error Resume Next
    Set found = prime.FindGoldbachPair(number)
    If Err.Number <> 0 Then
        Pair = "stopped: " & Err.Description
    ElseIf found.Found Then
        Pair = "pair: " & found.First & " + " & found.Second
    Else
        Pair = "no pair"
    End If
End Function

If events Then WScript.Echo Pair("1" & String(digits - 2, "0") & "8")
WScript.Echo Pair("1" & String(98, "0") & "8")
WScript.Echo prime.SysInfo
