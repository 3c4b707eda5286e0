#!/usr/bin/env python3
"""Writes the DLL's module-definition file with stdcall decorations.

tesselcore.def names each export plainly with its fixed ordinal.  The linker
needs the decorated symbol (Name@bytes) so that the import library lets
callers link against the stdcall functions, while --kill-at keeps the
exported names plain.  The decoration is read from the compiled archives.

On x86_64 there is one calling convention and no decoration: the output
then names the same plain symbols, so one source of truth serves both builds.

usage: decorate_def.py NM IN.def OUT.def ARCHIVE...
       decorate_def.py --imports DECORATED.def OUT.def ORDINAL...
         writes the import definitions of a caller that binds the given
         ordinals without names (the client binds five functions so)
"""
import re
import subprocess
import sys


def imports(decorated, out, ordinals):
    wanted = set(int(o) for o in ordinals)
    lines = ["; Generated from the library's export table: functions bound by ordinal.",
             "LIBRARY tesselcore.dll", "EXPORTS"]
    found = set()
    for line in open(decorated):
        m = re.match(r"^\s+(\S+)\s+@(\d+)", line)
        if m and int(m.group(2)) in wanted:
            lines.append(f"    {m.group(1)} @{m.group(2)} NONAME")
            found.add(int(m.group(2)))
    missing = wanted - found
    if missing:
        sys.exit(f"decorate_def.py: ordinals not exported: {sorted(missing)}")
    with open(out, "w") as f:
        f.write("\n".join(lines) + "\n")


def main():
    if sys.argv[1] == "--imports":
        imports(sys.argv[2], sys.argv[3], sys.argv[4:])
        return
    nm, src, out, archives = sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4:]
    defined = {}
    for ar in archives:
        text = subprocess.run([nm, "-g", "--defined-only", ar], capture_output=True,
                              text=True, check=True).stdout
        for line in text.splitlines():
            parts = line.split()
            if len(parts) == 3 and parts[1] == "T":
                sym = parts[2].lstrip("_")
                base = sym.split("@")[0]
                defined.setdefault(base, sym)
    lines = []
    for line in open(src):
        m = re.match(r"^(\s+)([A-Za-z_][A-Za-z0-9_]*)(\s+@\d+.*)$", line.rstrip("\n"))
        if m and m.group(2) in defined:
            lines.append(f"{m.group(1)}{defined[m.group(2)]}{m.group(3)}")
        else:
            lines.append(line.rstrip("\n"))
    with open(out, "w") as f:
        f.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
