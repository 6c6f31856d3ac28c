#!/bin/sh
# Installs the build into a temporary prefix and uses it as a user would: the installed kiv
# registers itself (its own, installed path) and the installed kivcli gets 100 = 3 + 97 from
# it. Everything (prefix, home, registry, runtime directory) lives in one temporary folder.
#   installed_prefix_test.sh <build dir>
set -eu
build=$1
root=$(mktemp -d "${TMPDIR:-/tmp}/kiv-install.XXXXXX")
trap 'rm -rf "$root"' EXIT
export HOME="$root/home" XDG_DATA_HOME="$root/data" XDG_CONFIG_HOME="$root/config" \
       XDG_RUNTIME_DIR="$root/run" COMRT_MACHINE_DIR="$root/machine"
mkdir -p "$HOME" "$XDG_DATA_HOME" "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR" "$COMRT_MACHINE_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
prefix="$root/prefix"

fail() { echo "FAIL: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$prefix" >/dev/null || fail "cmake --install"
for file in bin/kiv bin/kivcli bin/comrt bin/kiv.tlb; do
    [ -f "$prefix/$file" ] || fail "$file not installed"
done

"$prefix/bin/kiv" -RegServerPerUser || fail "kiv -RegServerPerUser exited $?"
clsid=$("$prefix/bin/comrt" reg query 'HKCU\Software\Classes\kiv.Prime\CLSID' 2>&1) ||
    fail "kiv.Prime not registered: $clsid"
clsid=$(printf '%s\n' "$clsid" | grep -o '{[0-9A-Fa-f-]*}' | head -n 1)
server=$("$prefix/bin/comrt" reg query "HKCU\\Software\\Classes\\CLSID\\$clsid\\LocalServer32" 2>&1) ||
    fail "no LocalServer32 for $clsid: $server"
case "$server" in
    *"$prefix/bin/kiv"*) ;;
    *) fail "LocalServer32 does not name the installed kiv: $server" ;;
esac

answer=$(printf '100\n0\n' | timeout 60 "$prefix/bin/kivcli") || fail "kivcli exited $?"
case "$answer" in
    *"3 + 97"*) ;;
    *) fail "kivcli answered: $answer" ;;
esac
# The server leaves once kivcli has released its object.
for _ in $(seq 100); do
    pgrep -f "^$prefix/bin/kiv" >/dev/null || break
    sleep 0.1
done
pgrep -f "^$prefix/bin/kiv" >/dev/null && fail "the installed kiv is still running"
echo "installed kiv registered at $prefix/bin/kiv; kivcli: 100 = 3 + 97"
