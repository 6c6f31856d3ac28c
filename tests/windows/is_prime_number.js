// IPrime2 from JScript, which reads no [out] arguments: the result is the return value.
// Prints one line per failed check and exits with the number of failures.
var failures = 0;
function check(ok, what) {
    if (!ok) {
        WScript.Echo("FAIL: " + what);
        failures++;
    }
}
var prime = null, pair = null;
try {
    prime = new ActiveXObject("kiv.Prime");
    var answer = prime.IsPrimeNumber("1000000007");
    check(answer === true, "IsPrimeNumber(\"1000000007\") gave " + answer);
    check(prime.IsPrimeNumber("1000000008") === false, "IsPrimeNumber(\"1000000008\") is not false");
    pair = prime.FindGoldbachPair("100");
    check(pair.Found === true && pair.First === "3" && pair.Second === "97",
          "FindGoldbachPair(\"100\") gave " + pair.Text);
} catch (e) {
    check(false, "error " + (e.number >>> 0).toString(16) + " " + e.description);
}
// Wine's script host does not release what a script still holds when it quits: the objects go
// first, so that the server, left without clients, ends.
pair = null;
prime = null;
CollectGarbage();
WScript.Quit(failures);
