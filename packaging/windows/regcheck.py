#!/usr/bin/env python3
"""Checks of the MSI's registry effects, on `reg export` files of HKLM\\Software (both views)
and HKCU\\Software.

  regcheck.py classes BASE AFTER OUT    what AFTER added under HKLM\\Software\\Classes (64-bit
                                        view, the win32 type-library entries aside), as a
                                        sorted listing in OUT
  regcheck.py same MSI REGSERVER        the two listings agree; prints the differences
  regcheck.py arp EXPORT                the Add/Remove Programs entries named kiv
  regcheck.py leftovers BASE AFTER      AFTER holds nothing BASE lacks, outside Windows
                                        Installer's own bookkeeping
"""

import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import regfile  # noqa: E402

CLASSES = "hkey_local_machine\\software\\classes\\"
WOW = CLASSES + "wow6432node\\"
UNINSTALL = "hkey_local_machine\\software\\microsoft\\windows\\currentversion\\uninstall\\"
# Windows Installer's records of installed products, components and patches, kept after an
# uninstall (caches, rollback information) or rewritten on every run.
BOOKKEEPING = (
    CLASSES + "installer\\",
    WOW + "installer\\",
    "hkey_local_machine\\software\\microsoft\\windows\\currentversion\\installer\\",
    "hkey_local_machine\\software\\wow6432node\\microsoft\\windows\\currentversion\\installer\\",
    "hkey_current_user\\software\\microsoft\\installer\\",
)


def listing(snapshot):
    """One line per value (and per key without values). A folder named with or without its
    final backslash is the same folder: Windows Installer gives INSTALLDIR with one."""
    lines = []
    for key, values in snapshot.items():
        if not values:
            lines.append("[%s]" % key.lower())
        for name, (kind, data) in values.items():
            if kind == "sz" and data.endswith("\\") and len(data) > 3:
                data = data[:-1]
            lines.append("[%s] %s = %s:%r" % (key.lower(), name.lower() or "@", kind, data))
    return sorted(lines)


def classes_64(added):
    """Keys of the 64-bit Classes view; on Windows 7 and later TypeLib is one key for both
    views, so the 32-bit view's win32 entries show here too and are left to the /reg:32 check."""
    result = {}
    for key, values in added.items():
        k = key.lower()
        if not k.startswith(CLASSES) or k.startswith(WOW) or (k + "\\").startswith(BOOKKEEPING):
            continue
        if k.startswith(CLASSES + "typelib\\") and (k.endswith("\\win32") or "\\win32\\" in k):
            continue
        result[key] = values
    # Keys that only hold keys come and go with their subkeys: compare the leaves.
    lowered = [k.lower() for k in result]
    return {
        k: v
        for k, v in result.items()
        if v or not any(o.startswith(k.lower() + "\\") for o in lowered)
    }


def main(argv):
    if len(argv) == 5 and argv[1] == "classes":
        added = regfile.added(regfile.parse(argv[2]), regfile.parse(argv[3]))
        with open(argv[4], "w", encoding="utf-8") as f:
            f.write("\n".join(listing(classes_64(added))) + "\n")
        return 0
    if len(argv) == 4 and argv[1] == "same":
        with open(argv[2], encoding="utf-8") as f:
            msi = set(f.read().splitlines())
        with open(argv[3], encoding="utf-8") as f:
            regserver = set(f.read().splitlines())
        for line in sorted(regserver - msi):
            print("  -RegServer only: " + line)
        for line in sorted(msi - regserver):
            print("  MSI only:        " + line)
        return 0 if msi == regserver else 1
    if len(argv) == 3 and argv[1] == "arp":
        snapshot = regfile.parse(argv[2])
        for key, values in sorted(snapshot.items()):
            if key.lower().startswith(UNINSTALL) and values.get("DisplayName", (0, ""))[1] == "kiv":
                shown = ("DisplayVersion", "Publisher", "EstimatedSize")
                print(key[len(UNINSTALL) :], *("%s=%s" % (n, values.get(n, ("", "-"))[1]) for n in shown))
        return 0
    if len(argv) == 4 and argv[1] == "leftovers":
        added = regfile.added(regfile.parse(argv[2]), regfile.parse(argv[3]))
        left = {
            k: v for k, v in added.items() if not (k.lower() + "\\").startswith(BOOKKEEPING)
        }
        for line in listing(left):
            print("  left: " + line)
        return 1 if left else 0
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
