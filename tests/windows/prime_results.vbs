' Late-bound calls of every kiv.Prime method that answers, receiving the results in
' variables: IsPrime by its three methods, IsInt64Prime, GetGBPairUsingRM.
' Prints one line per failed check and exits with the number of failures. The checks are
' repeated in each client: Wine 8's VBScript has no ExecuteGlobal and its cscript no .wsf.
' An unhandled error would end the script with exit code 0, so every call runs under
' On Error Resume Next and its Err is checked.
Option Explicit
On Error Resume Next

Dim failures: failures = 0

Sub Check(ok, what)
    If Not ok Then
        WScript.Echo "FAIL: " & what
        failures = failures + 1
    End If
End Sub

' Err after a call that must succeed; clears it for the next call.
Sub CheckNoError(what)
    Check Err.Number = 0, what & ": error " & Hex(Err.Number) & " " & Err.Description
    Err.Clear
End Sub

Dim prime: Set prime = CreateObject("kiv.Prime")
If Err.Number <> 0 Then
    WScript.Echo "FAIL: CreateObject(""kiv.Prime""): error " & Hex(Err.Number) & " " & Err.Description
    WScript.Quit 1
End If

' IsPrime: number, method (1 AKS, 2 trial division, 3 Rabin-Miller), trials, result.
Dim cases: cases = Array( _
    Array("1000000007", 1, 0, 1), _
    Array("1000000007", 2, 0, 1), _
    Array("1000000007", 3, 10, 1), _
    Array("56052361", 1, 0, 0), _
    Array("2305843009213693951", 1, 0, 1))
Dim c, r
For Each c In cases
    r = "untouched"
    prime.IsPrime c(0), c(1), c(2), r
    CheckNoError "IsPrime " & c(0) & " by method " & c(1)
    Check VarType(r) = vbLong And r = c(3), _
        "IsPrime " & c(0) & " by method " & c(1) & " gave " & r & ", expected " & c(3)
Next

' IsInt64Prime is declared and not implemented.
r = 7
prime.IsInt64Prime 5, 1, 0, r
Check Err.Number = &H80020009, "IsInt64Prime: error " & Hex(Err.Number)
Check Err.Description = "Not implemented yet.", "IsInt64Prime: description " & Err.Description
Check Err.Source = "kiv.Prime.1", "IsInt64Prime: source " & Err.Source
Err.Clear

' GetGBPairUsingRM: even number, trials, first, second, found (threads per core omitted).
Dim pairs: pairs = Array( _
    Array("100", 0, "3", "97"), _
    Array("2050", 10, "11", "2039"), _
    Array("4", 0, "2", "2"))
Dim p, a, b
For Each p In pairs
    a = Empty: b = "old": r = 5
    prime.GetGBPairUsingRM p(0), p(1), a, b, r
    CheckNoError "GetGBPairUsingRM " & p(0)
    Check VarType(a) = vbString And a = p(2), "GetGBPairUsingRM " & p(0) & ": first " & a
    Check VarType(b) = vbString And b = p(3), "GetGBPairUsingRM " & p(0) & ": second " & b
    Check r = 1, "GetGBPairUsingRM " & p(0) & ": found " & r
Next
' With the threads per core given.
a = Empty: b = Empty: r = Empty
prime.GetGBPairUsingRM "100", 0, a, b, r, 2
CheckNoError "GetGBPairUsingRM 100 with 2 threads per core"
Check a = "3" And b = "97" And r = 1, "GetGBPairUsingRM 100, 2 threads per core: " & a & " + " & b

Set prime = Nothing
WScript.Echo "prime_results.vbs: " & failures & " failure(s)"
WScript.Quit failures
