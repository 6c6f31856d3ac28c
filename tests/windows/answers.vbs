' Prints kiv.Prime's answers to the calls listed in a file, one call a line ("METHOD ARG..."),
' as "METHOD ARG...: OUT..." or "METHOD ARG...: error DESCRIPTION", for comparison with
' another build's answers to the same calls. Usage: cscript //nologo answers.vbs CALLS.txt
Option Explicit
On Error Resume Next

Dim prime: Set prime = CreateObject("kiv.Prime")
If Err.Number <> 0 Then
    WScript.Echo "CreateObject(""kiv.Prime""): error " & Hex(Err.Number) & " " & Err.Description
    WScript.Quit 1
End If

Dim fso: Set fso = CreateObject("Scripting.FileSystemObject")
Dim calls: Set calls = fso.OpenTextFile(WScript.Arguments(0))
Dim line, words, answer, a, b, r
Do While Not calls.AtEndOfStream
    line = Trim(calls.ReadLine())
    If line <> "" Then
        words = Split(line, " ")
        a = Empty: b = Empty: r = Empty
        Err.Clear
        Select Case words(0)
            Case "IsPrime"
                prime.IsPrime words(1), words(2), words(3), r
                answer = r
            Case "IsInt64Prime"
                prime.IsInt64Prime words(1), words(2), words(3), r
                answer = r
            Case "GetGBPairUsingRM"
                If UBound(words) >= 3 Then
                    prime.GetGBPairUsingRM words(1), words(2), a, b, r, words(3)
                Else
                    prime.GetGBPairUsingRM words(1), words(2), a, b, r
                End If
                answer = a & " " & b & " " & r
        End Select
        If Err.Number <> 0 Then answer = "error " & Err.Description
        WScript.Echo line & ": " & answer
    End If
Loop
WScript.Quit 0
