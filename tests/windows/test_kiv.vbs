' TestKIV late-bound: the status text, the found flag, and the results file that appears in
' the KIV folder of the user's profile.
' Prints one line per failed check and exits with the number of failures. The checks are
' repeated in each client: Wine 8's VBScript has no ExecuteGlobal and its cscript no .wsf.
Option Explicit
On Error Resume Next

Dim failures: failures = 0

Sub Check(ok, what)
    If Not ok Then
        WScript.Echo "FAIL: " & what
        failures = failures + 1
    End If
End Sub

Sub CheckNoError(what)
    Check Err.Number = 0, what & ": error " & Hex(Err.Number) & " " & Err.Description
    Err.Clear
End Sub

Dim prime: Set prime = CreateObject("kiv.Prime")
If Err.Number <> 0 Then
    WScript.Echo "FAIL: CreateObject(""kiv.Prime""): error " & Hex(Err.Number) & " " & Err.Description
    WScript.Quit 1
End If

Dim status, r
' Without a results file the status is exactly "Digits: D", a line feed and the status word.
status = Empty: r = Empty
prime.TestKIV 12, 0, status, r
CheckNoError "TestKIV 12 digits"
Check status = "Digits: 12" & vbLf & "Success.", "TestKIV 12 digits: status '" & status & "'"
Check VarType(r) = vbLong And r = 1, "TestKIV 12 digits: found " & r

' With a results file, the status says where it went.
Const WRITTEN = "Results have been written to the file, '"
Dim shell: Set shell = CreateObject("WScript.Shell")
Dim fso: Set fso = CreateObject("Scripting.FileSystemObject")
Dim profile: profile = shell.ExpandEnvironmentStrings("%USERPROFILE%")
' Wine's ExpandEnvironmentStrings counts the terminating NUL into the string: cut it there.
If InStr(profile, Chr(0)) > 0 Then profile = Left(profile, InStr(profile, Chr(0)) - 1)
Dim folder: folder = profile & "\KIV\"
status = Empty: r = Empty
prime.TestKIV 20, 1, status, r, 2
CheckNoError "TestKIV 20 digits with a results file"
Check r = 1, "TestKIV 20 digits: found " & r
Dim head: head = "Digits: 20" & vbLf & "Success." & vbLf & WRITTEN
Check Left(status, Len(head)) = head, "TestKIV 20 digits: status '" & status & "'"
Check Right(status, 15) = "' successfully.", "TestKIV 20 digits: status ends '" & Right(status, 15) & "'"
Dim path: path = Mid(status, Len(head) + 1, Len(status) - Len(head) - 15)
Check LCase(Left(path, Len(folder))) = LCase(folder), "results file " & path & " is not in " & folder
Check fso.FileExists(path), "results file " & path & " does not exist"
Dim name: name = fso.GetFileName(path)
Check Left(name, 5) = "20_2_" And Right(name, 4) = ".txt", "results file name " & name
If fso.FileExists(path) Then
    Dim text: text = fso.OpenTextFile(path).ReadAll()
    Dim start: start = "Digits:" & vbCrLf & "20" & vbCrLf & vbCrLf & "Q:" & vbCrLf
    Check Left(text, Len(start)) = start, "results file begins '" & Left(text, Len(start)) & "'"
    Check InStr(text, vbCrLf & "Status:" & vbCrLf & "Q length:  20" & vbCrLf) > 0, _
        "results file has no status block"
    Check InStr(text, "Number of Threads used per Core:" & vbCrLf & "2" & vbCrLf) > 0, _
        "results file has no threads-per-core block"
End If

Set prime = Nothing
WScript.Echo "test_kiv.vbs: " & failures & " failure(s)"
WScript.Quit failures
