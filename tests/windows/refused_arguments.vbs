' Refused arguments reach a late-bound client as Err.Number, Err.Source and Err.Description,
' and leave the result variables as they were.
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

Const NATURAL = "The input number must be a natural number greater than one with precision P such that 1 <= P <= 1073739772."
Const EVEN = "The input number must be an even natural number greater than two with precision P such that 1 <= P <= 1073739772."
Const TRIALS = "The number of trials must be greater than or equal to zero."
Const THREADS = "The number of threads to use per core must be greater than one and less than 2,147,483,648."
Const DIGITS = "The input digit size must be greater than zero and less than 2,147,483,648."

' Which call, then the description it must give.
Dim r, a, b, s, what, expected
Dim i
For i = 0 To 7
    r = "kept": a = "kept": b = "kept": s = "kept"
    Select Case i
        Case 0: what = "IsPrime abc": expected = NATURAL
            prime.IsPrime "abc", 1, 0, r
        Case 1: what = "IsPrime by method 4": expected = "Invalid parameter(s) specified."
            prime.IsPrime "7", 4, 0, r
        Case 2: what = "IsPrime 2^63 by AKS": expected = "Currently the max limit supported is 9223372036854775807."
            prime.IsPrime "9223372036854775808", 1, 0, r
        Case 3: what = "GetGBPairUsingRM 7": expected = EVEN
            prime.GetGBPairUsingRM "7", 0, a, b, r
        Case 4: what = "GetGBPairUsingRM with -1 trials": expected = TRIALS
            prime.GetGBPairUsingRM "100", -1, a, b, r
        Case 5: what = "GetGBPairUsingRM with 1 thread per core": expected = THREADS
            prime.GetGBPairUsingRM "100", 0, a, b, r, 1
        Case 6: what = "TestKIV with 0 digits": expected = DIGITS
            prime.TestKIV 0, 0, s, r
        Case 7: what = "TestKIV with 1 thread per core": expected = THREADS
            prime.TestKIV 12, 0, s, r, 1
    End Select
    Check Err.Number = &H80020009, what & ": error " & Hex(Err.Number) & ", expected 80020009"
    Check Err.Source = "kiv.Prime.1", what & ": source '" & Err.Source & "'"
    Check Err.Description = expected, what & ": description '" & Err.Description & "'"
    Check r = "kept" And a = "kept" And b = "kept" And s = "kept", what & ": a variable was written"
    Err.Clear
Next

Set prime = Nothing
WScript.Echo "refused_arguments.vbs: " & failures & " failure(s)"
WScript.Quit failures
