// kiv from C#: a primality test, a Goldbach pair search that shows its progress and is cancelled
// by Ctrl-C or once it runs longer than a limit, then one that is answered, and the system report.
// kivLib is the interop assembly of kiv.tlb (tlbimp, or the project's COMReference).
//   Kiv.exe [digits [seconds]]    digits of the even number searched (3000), the limit (5 s)
using System;
using System.Runtime.InteropServices;

static class Kiv
{
    static double limit = 5;
    static volatile bool interrupted;

    static void OnProgress(string activity, string unit, double done, double expected,
                           double elapsed, string current, ref bool cancel)
    {
        Console.WriteLine($"progress: {activity}, {done} of ~{expected} {unit}, p = {current}, {elapsed:F1} s");
        cancel = interrupted || elapsed >= limit;
    }

    // "pair: p + q", or why there is none.
    static string Pair(kivLib.Prime prime, string number)
    {
        try
        {
            kivLib.IGoldbachPair found = prime.FindGoldbachPair(number);
            return found.Found ? $"pair: {found.First} + {found.Second}" : "no pair";
        }
        catch (COMException error)
        {
            return $"stopped: {error.Message}";
        }
    }

    [STAThread]
    static void Main(string[] args)
    {
        int digits = args.Length > 0 ? int.Parse(args[0]) : 3000;
        if (args.Length > 1)
            limit = double.Parse(args[1]);
        // Ctrl-C asks the running search to stop instead of ending the program.
        Console.CancelKeyPress += (sender, e) => { e.Cancel = true; interrupted = true; };

        var prime = new kivLib.Prime();
        prime.Progress += OnProgress;
        Console.WriteLine($"1000000007 is prime: {prime.IsPrimeNumber("1000000007")}");
        Console.WriteLine(Pair(prime, "1" + new string('0', digits - 2) + "8"));
        Console.WriteLine(Pair(prime, "1" + new string('0', 98) + "8"));
        Console.WriteLine(prime.SysInfo);
        prime.Progress -= OnProgress;
        Marshal.ReleaseComObject(prime);
    }
}
