#!/usr/bin/env python3
"""Writes the MSI's Registry table (an .idt file) from what `kiv.exe -RegServer` wrote.

Input: registration-export's folder (HKLM\\Software\\Classes exported before and after the
registration, and the module path its values name). Every key and value the registration
added becomes a row of component Registry64 (the 64-bit view). Component Registry32 repeats them for 32-bit clients, whose view
Windows Installer writes for a component without the 64-bit attribute: the CLSID and Interface
keys land under Wow6432Node, and the type library gets a win32 entry next to win64. AppID is
left out there: it is one key for both views. The module path becomes [#kiv.exe], the installed
file, so the rows follow INSTALLDIR.
"""

import argparse
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import regfile  # noqa: E402

HKLM = "HKEY_LOCAL_MACHINE\\"
WOW = "Software\\Classes\\Wow6432Node\\"
ROOT_HKLM = 2
KEYPATH = {"Registry64": "Registry64KeyPath", "Registry32": "Registry32KeyPath"}


def formatted(text, module, file_key):
    """A literal as a Formatted value: brackets escaped, the module path as the installed file,
    its folder (HELPDIR) as INSTALLDIR, which Windows Installer gives with a final backslash."""
    escaped = text.replace("[", "\x01").replace("]", "\x02")
    escaped = escaped.replace("\x01", "[\\[]").replace("\x02", "[\\]]")
    escaped = escaped.replace(module, "[#%s]" % file_key)
    folder = module.rsplit("\\", 1)[0]
    if escaped == folder:
        return "[INSTALLDIR]"
    if escaped.startswith(folder + "\\"):
        return "[INSTALLDIR]" + escaped[len(folder) + 1 :]
    return escaped


def value_column(kind, data, module, file_key):
    if kind == "sz":
        text = formatted(data, module, file_key)
        return "#" + text if text.startswith("#") else text
    if kind == "expand_sz":
        return "#%" + formatted(data, module, file_key)
    if kind == "dword" or kind == "qword":
        return "#%d" % data
    if kind == "multi_sz":
        return "[~]".join(formatted(part, module, file_key) for part in data)
    if kind == "hex(3)":
        return "#x" + data
    raise ValueError("no Registry-table form for a value of type " + kind)


def rows_of(added, module, file_key):
    """(component, key, name, value) rows: values, and '*' rows for keys holding none."""
    keys = {k[len(HKLM) :] if k.startswith(HKLM) else k: v for k, v in added.items()}
    lowered = [k.lower() for k in keys]
    rows = []
    for key in sorted(keys, key=str.lower):
        values = keys[key]
        component = "Registry64"
        if key.lower().startswith(WOW.lower()):
            component = "Registry32"
            key = "Software\\Classes\\" + key[len(WOW) :]
        if not values:
            # An empty key the registration created (Programmable): '*' creates it and takes it
            # away again. Keys that only hold other keys come with their subkeys.
            if not any(other.startswith(key.lower() + "\\") for other in lowered):
                rows.append((component, key, "*", None))
            continue
        for name in sorted(values, key=str.lower):
            kind, data = values[name]
            rows.append((component, key, name, value_column(kind, data, module, file_key)))
    return rows


def with_32_bit_view(rows):
    """The 64-bit rows again for the 32-bit view, unless the registration wrote that view."""
    result = list(rows)
    present = {(c, k.lower(), n.lower()) for c, k, n, _ in rows}
    for component, key, name, value in rows:
        if component != "Registry64" or key.lower().startswith("software\\classes\\appid\\"):
            continue
        parts = key.split("\\")
        if parts[-1].lower() == "win64" and len(parts) >= 3 and parts[2].lower() == "typelib":
            parts[-1] = "win32"
        key32 = "\\".join(parts)
        if ("Registry32", key32.lower(), name.lower()) not in present:
            result.append(("Registry32", key32, name, value))
    return result


def idt(rows):
    lines = [
        "Registry\tRoot\tKey\tName\tValue\tComponent_",
        "s72\ti2\tl255\tL255\tL0\ts72",
        "Registry\tRegistry",
    ]
    counters = {}
    keypaths = set()
    for component, key, name, value in rows:
        for field in (key, name, value or ""):
            if any(c in field for c in "\t\r\n"):
                raise ValueError("a tab or line break in a registry row: %r" % field)
        if component not in keypaths and value is not None:
            ident = KEYPATH[component]
            keypaths.add(component)
        else:
            counters[component] = counters.get(component, 0) + 1
            ident = "%s_%03d" % (component, counters[component])
        lines.append("\t".join([ident, str(ROOT_HKLM), key, name, value or "", component]))
    missing = set(KEYPATH) - keypaths
    if missing:
        raise ValueError("no value rows for " + ", ".join(sorted(missing)))
    return "\r\n".join(lines) + "\r\n"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--export", required=True, help="registration-export's folder")
    parser.add_argument("--file-key", default="kiv.exe")
    parser.add_argument("--out", required=True, help="Registry.idt to write")
    args = parser.parse_args()
    with open(os.path.join(args.export, "module.txt"), encoding="utf-8") as f:
        module = f.read().strip()
    added = regfile.added(
        regfile.parse(os.path.join(args.export, "before.reg")),
        regfile.parse(os.path.join(args.export, "after.reg")),
    )
    if not added:
        sys.exit("msi_rows: the registration added nothing to HKLM\\Software\\Classes")
    rows = with_32_bit_view(rows_of(added, module, args.file_key))
    with open(args.out, "w", encoding="ascii", newline="") as f:
        f.write(idt(rows))


if __name__ == "__main__":
    main()
