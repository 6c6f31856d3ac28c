#!/bin/sh
# wine_test.sh WINE PROGRAM [ARG...]: one test program of the Windows build under Wine. Its output
# goes to a file first, printed when it ends: the services a program starts in the prefix
# (RpcSs, the desktop) inherit its output and outlive it, and ctest would wait for a pipe they
# hold open until its time-out.
set -u
out=$(mktemp)
trap 'rm -f "$out"' EXIT
rc=0
"$@" >"$out" 2>&1 </dev/null || rc=$?
cat "$out"
exit "$rc"
