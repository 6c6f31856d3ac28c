// kiv from JScript: a primality test, a Goldbach pair search that shows its progress, and the
// system report.
//   cscript //nologo kiv.js [digits]
// digits: the size of the even number searched (default 3000).
//
// JScript receives every event argument by value, so the handler cannot set Progress's
// cancel argument: a JScript client cannot stop a search. Use VBScript or a compiled client.

var digits = WScript.Arguments.length > 0 ? parseInt(WScript.Arguments(0), 10) : 3000;

var prime = WScript.CreateObject("kiv.Prime");
// Connects the object's events to the functions named kiv_<event> below. A host that cannot
// (Wine's cscript) refuses, and the script goes on without them.
try {
    WScript.ConnectObject(prime, "kiv_");
} catch (e) {
    WScript.Echo("no events: " + (e.description || "error 0x" + (e.number >>> 0).toString(16)));
}

function kiv_Progress(activity, unit, done, expected, elapsed, current, cancel) {
    WScript.Echo("progress: " + activity + ", " + done + " of ~" + expected + " " + unit +
                 ", p = " + current + ", " + elapsed.toFixed(1) + " s");
}

function zeros(count) {
    return new Array(count + 1).join("0");
}

// "p + q", or why there is no pair.
function pair(number) {
    try {
        var found = prime.FindGoldbachPair(number);
        return found.Found ? "pair: " + found.First + " + " + found.Second : "no pair";
    } catch (e) {
        return "stopped: " + e.description;
    }
}

WScript.Echo("1000000007 is prime: " + prime.IsPrimeNumber("1000000007"));
WScript.Echo(pair("1" + zeros(digits - 2) + "8"));
WScript.Echo(prime.SysInfo);
