Attribute VB_Name = "KivSample"
' kiv from VBA (Excel, Word, Access): a primality test, a Goldbach pair search that shows its
' progress in the Immediate window and is cancelled after a limit, then one that is answered,
' and the system report. Needs Tools > References > "kiv 1.0 Type Library" and the class
' module KivSearch. Run KivSample (Alt+F8); open the Immediate window with Ctrl+G.
Option Explicit

Public Search As KivSearch

Public Sub KivSample()
    Set Search = New KivSearch
    Search.LimitSeconds = 5
    Debug.Print "1000000007 is prime: " & Search.Prime.IsPrimeNumber("1000000007")
    Debug.Print Search.Pair("1" & String(2998, "0") & "8")
    Debug.Print Search.Pair("1" & String(98, "0") & "8")
    Debug.Print Search.Prime.SysInfo
    Set Search = Nothing
End Sub

' Assign to a button to stop the running search.
Public Sub StopKivSearch()
    If Not Search Is Nothing Then Search.StopRequested = True
End Sub
