#!/usr/bin/env python3
"""Builds kiv's MSI with wixl from kiv.wxs.in and the generated Registry rows.

wixl writes the package (files, Start-menu shortcut, upgrade rules); its Registry table then
gets the rows of msi_rows.py in place of the two placeholder rows of components Registry64 and
Registry32, whose key paths move to the generated rows. Component GUIDs derive from their
names, so every version of the package keeps them, as Windows Installer's component rules ask.
"""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import uuid

NAMESPACE = uuid.UUID("0b7f6a4e-52f1-4d0c-9d55-3c2e8f1a6b90")
COMPONENTS = ["Server", "Client", "Readme", "Registry64", "Registry32", "StartMenu"]
GENERATED = {"Registry64", "Registry32"}


def read_idt(path):
    with open(path, encoding="ascii", newline="") as f:
        lines = f.read().replace("\r\n", "\n").rstrip("\n").split("\n")
    return lines[:3], [line.split("\t") for line in lines[3:]]


def merged_registry(existing, generated):
    header, rows = read_idt(existing)
    _, new_rows = read_idt(generated)
    kept = [row for row in rows if row[5] not in GENERATED]
    lines = header + ["\t".join(row) for row in kept + new_rows]
    return "\r\n".join(lines) + "\r\n"


def run(args, cwd):
    result = subprocess.run(args, cwd=cwd, capture_output=True, text=True)
    if result.returncode != 0:
        sys.exit("make_msi: %s failed:\n%s%s" % (args[0], result.stdout, result.stderr))
    return result.stdout


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--version", required=True)
    parser.add_argument("--template", required=True)
    parser.add_argument("--rows", required=True, help="Registry.idt from msi_rows.py")
    parser.add_argument("--kiv", required=True)
    parser.add_argument("--kivcli", required=True)
    parser.add_argument("--readme", required=True)
    parser.add_argument("--out", required=True)
    args = parser.parse_args()

    with open(args.template, encoding="utf-8") as f:
        wxs = f.read().replace("@VERSION@", args.version)
    for name in COMPONENTS:
        guid = str(uuid.uuid5(NAMESPACE, "kiv component " + name)).upper()
        wxs = wxs.replace("@GUID_%s@" % name, guid)

    # Add/Remove Programs shows this size (KB); Wine's Installer computes none of its own.
    size = sum(os.path.getsize(f) for f in (args.kiv, args.kivcli, args.readme))
    wxs = wxs.replace("@SIZE_KB@", str((size + 1023) // 1024))
    out = os.path.abspath(args.out)
    with tempfile.TemporaryDirectory() as stage:
        # wixl takes relative Source paths only: the files sit beside the .wxs.
        shutil.copy(args.kiv, os.path.join(stage, "kiv.exe"))
        shutil.copy(args.kivcli, os.path.join(stage, "kivcli.exe"))
        shutil.copy(args.readme, os.path.join(stage, "README.txt"))
        if "@" in wxs:
            sys.exit("make_msi: a placeholder of the template is left unfilled")
        with open(os.path.join(stage, "kiv.wxs"), "w", encoding="utf-8") as f:
            f.write(wxs)
        msi = os.path.join(stage, "kiv.msi")
        run(["wixl", "-a", "x64", "-o", "kiv.msi", "kiv.wxs"], stage)

        existing = os.path.join(stage, "wixl-Registry.idt")
        with open(existing, "w", encoding="ascii", newline="") as f:
            f.write(run(["msiinfo", "export", msi, "Registry"], stage))
        table = os.path.join(stage, "Registry.idt")
        with open(table, "w", encoding="ascii", newline="") as f:
            f.write(merged_registry(existing, args.rows))
        run(["msibuild", msi, "-i", table], stage)
        for component in sorted(GENERATED):
            run(["msibuild", msi, "-q",
                 "UPDATE `Component` SET `KeyPath` = '%sKeyPath' WHERE `Component` = '%s'"
                 % (component, component)], stage)
        shutil.move(msi, out)


if __name__ == "__main__":
    main()
