' GetSysInfo late-bound: one line per processor package with its cores, then the four
' memory lines.
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

Dim prime: Set prime = CreateObject("kiv.Prime")
If Err.Number <> 0 Then
    WScript.Echo "FAIL: CreateObject(""kiv.Prime""): error " & Hex(Err.Number) & " " & Err.Description
    WScript.Quit 1
End If

Dim info: info = Empty
prime.GetSysInfo info
Check Err.Number = 0, "GetSysInfo: error " & Hex(Err.Number) & " " & Err.Description
Err.Clear
Check VarType(info) = vbString, "GetSysInfo: result of type " & VarType(info)
Check Right(info, 1) = vbLf, "GetSysInfo: the report does not end with a line feed"
Check InStr(info, vbCr) = 0, "GetSysInfo: the report holds a carriage return"

Dim lines: lines = Split(info, vbLf)
Dim n: n = UBound(lines)  ' the last element is the empty text after the final line feed
Check n >= 5, "GetSysInfo: " & n & " line(s): '" & info & "'"
If n >= 5 Then
    Dim i
    For i = 0 To n - 5
        Check InStr(lines(i), " Core(s)") > 0, "GetSysInfo: processor line '" & lines(i) & "'"
    Next
    Dim labels: labels = Array("Total physical memory: ", "Available physical memory: ", _
                               "Total virtual memory: ", "Available virtual memory: ")
    Dim k, line, value
    For k = 0 To 3
        line = lines(n - 4 + k)
        value = Mid(line, Len(labels(k)) + 1, Len(line) - Len(labels(k)) - 3)
        Check Left(line, Len(labels(k))) = labels(k) And Right(line, 3) = " GB", _
            "GetSysInfo: memory line '" & line & "'"
        Check Len(value) >= 3 And Mid(value, Len(value) - 1, 1) = "." And _
            IsNumeric(Replace(value, ".", "")), "GetSysInfo: memory value '" & value & "'"
    Next
End If

Set prime = Nothing
WScript.Echo "sys_info.vbs: " & failures & " failure(s)"
WScript.Quit failures
