#!/usr/bin/env python3
"""approved_imports_on_xp.py APPROVED_LIST XP_EXPORTS_FOLDER

Fails unless every system function on the approved imports list is one that
Windows XP SP3 exports: XP_EXPORTS_FOLDER holds, per system library, the names
it exports (kernel32.txt, user32.txt, ...), one a line. STARTER.DLL comes with
the host and is not checked. Exits 77 (skipped) when the folder is absent."""
import os
import sys

SKIPPED = 77

# The export lists model Windows Server 2003 and so admit names that XP lacks.
# These are the ones Microsoft documents as Vista or Server 2003 and later (or,
# for the 64-bit XP only), which a runtime might reach for.
NOT_ON_XP = {
    "kernel32": {
        "FlsAlloc", "FlsFree", "FlsGetValue", "FlsSetValue",  # Vista / Server 2003
        "GetCurrentProcessorNumber",                          # Vista / Server 2003
        "GetThreadId", "GetProcessIdOfThread",                # Vista / Server 2003
        "SetThreadStackGuarantee",                            # Vista, XP x64, 2003 SP1
    },
    "comctl32": {
        "TaskDialog", "TaskDialogIndirect",                   # Vista
        "LoadIconMetric", "LoadIconWithScaleDown",            # Vista
    },
}


def approved_entries(path):
    """(line number, library, function) for each entry of the list."""
    with open(path, encoding="ascii") as f:
        for number, line in enumerate(f, 1):
            fields = line.split("#", 1)[0].split()
            if not fields:
                continue
            if len(fields) != 2:
                yield number, None, line.strip()
                continue
            yield number, fields[0], fields[1]


def main(argv):
    if len(argv) != 3:
        sys.exit(__doc__)
    approved, folder = argv[1:]
    if not os.path.isdir(folder):
        print(f"skipped: no Windows XP export lists at {folder}")
        return SKIPPED

    exports = {}
    faults = []
    checked = 0
    for number, library, function in approved_entries(approved):
        where = f"{os.path.basename(approved)}:{number}"
        if library is None:
            faults.append(f"{where}: not \"LIBRARY FUNCTION\": {function}")
            continue
        name = library.lower()
        if name == "starter.dll":
            continue
        if not name.endswith(".dll"):
            faults.append(f"{where}: {library} is not a .dll name")
            continue
        name = name[: -len(".dll")]
        if name not in exports:
            path = os.path.join(folder, name + ".txt")
            if not os.path.isfile(path):
                faults.append(f"{where}: no XP export list for {library} ({path})")
                continue
            with open(path, encoding="ascii") as f:
                exports[name] = set(f.read().split())
        checked += 1
        if function not in exports[name]:
            faults.append(f"{where}: {library} of Windows XP SP3 does not export {function}")
        elif function in NOT_ON_XP.get(name, ()):
            faults.append(f"{where}: {library} {function} is documented as newer than XP")

    for fault in faults:
        print(fault)
    print(f"{checked} system imports checked against {folder}: {len(faults)} faults")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
