"""kiv from Python (pywin32): a primality test, a Goldbach pair search that shows its progress
and is cancelled by Ctrl-C or once it runs longer than a limit, then one that is answered, and
the system report.

    py kiv.py [digits [seconds]]    digits of the even number searched (3000), the limit (5 s)
"""
import signal
import sys

import pythoncom
import win32com.client

digits = int(sys.argv[1]) if len(sys.argv) > 1 else 3000
limit = float(sys.argv[2]) if len(sys.argv) > 2 else 5.0
interrupted = False


def on_ctrl_c(signum, frame):
    # Python runs this between its own statements: in the next Progress handler at the latest.
    global interrupted
    interrupted = True


class PrimeEvents:
    def OnProgress(self, activity, unit, done, expected, elapsed, current, cancel):
        print(f"progress: {activity}, {done:.0f} of ~{expected:.0f} {unit}, "
              f"p = {current}, {elapsed:.1f} s", flush=True)
        # The value returned is what the [in, out] cancel argument becomes.
        return interrupted or elapsed >= limit


def pair(prime, number):
    """"pair: p + q", or why there is none."""
    try:
        found = prime.FindGoldbachPair(number)
    except pythoncom.com_error as error:
        description = error.excepinfo[2] if error.excepinfo else error.strerror
        return f"stopped: {description}"
    return f"pair: {found.First} + {found.Second}" if found.Found else "no pair"


signal.signal(signal.SIGINT, on_ctrl_c)
prime = win32com.client.DispatchWithEvents("kiv.Prime", PrimeEvents)
print(f"1000000007 is prime: {prime.IsPrimeNumber('1000000007')}")
print(pair(prime, "1" + "0" * (digits - 2) + "8"))
print(pair(prime, "1" + "0" * 98 + "8"))
print(prime.SysInfo)
