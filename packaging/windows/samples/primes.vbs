' kiv.Prime from VBScript: cscript //nologo primes.vbs
' VBScript passes variables by reference: each result arrives in the variable that stands in
' the out-parameter's place.
Option Explicit
Dim prime, p, q, found, isPrime
Set prime = CreateObject("kiv.Prime")

prime.GetGBPairUsingRM "100", 0, p, q, found
WScript.Echo "100 = " & p & " + " & q

' Methods: 1 AKS, 2 trial division, 3 Rabin-Miller.
prime.IsPrime "1000000007", 1, 0, isPrime
WScript.Echo "1000000007 is prime: " & (isPrime = 1)

On Error Resume Next
prime.IsPrime "abc", 1, 0, isPrime
If Err.Number <> 0 Then WScript.Echo "refused: " & Err.Description
