#!/usr/bin/env python3
"""Fails when the executable's import table names a library that Windows could
take from beside the executable: one that is neither on the KnownDLLs list
(docs/known-dlls.txt) nor pinned to the system folder by the manifest.

usage: check_imports.py OBJDUMP EXE KNOWN_DLLS_TXT MANIFEST
"""
import re
import subprocess
import sys


def known_dlls(path):
    names = set()
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.split("#", 1)[0].strip()
            if line:
                names.add(line.lower() + ".dll")
    return names


def pinned_dlls(path):
    with open(path, encoding="utf-8") as f:
        text = f.read()
    pins = set()
    for m in re.finditer(r'<file\s+name="([^"]+)"\s+loadFrom="([^"]+)"', text):
        if m.group(2).lower() == "%systemroot%\\system32\\":
            pins.add(m.group(1).lower())
    return pins


def imports(objdump, exe):
    out = subprocess.run([objdump, "-p", exe], check=True, capture_output=True, text=True).stdout
    table, current = {}, None
    for line in out.splitlines():
        m = re.match(r"\s*DLL Name: (\S+)", line)
        if m:
            current = m.group(1)
            table[current] = []
            continue
        m = re.match(r"\s+[0-9a-f]+\s+\d+\s+(\S+)$", line)
        if current and m:  # "vma  hint  name" of the current library
            table[current].append(m.group(1))
    return table


def main():
    objdump, exe, known_path, manifest = sys.argv[1:5]
    known, pinned = known_dlls(known_path), pinned_dlls(manifest)
    table = imports(objdump, exe)
    if not table:
        print(f"check_imports: no import table read from {exe}")
        return 1
    bad = []
    for dll in sorted(table, key=str.lower):
        kind = "KnownDLL" if dll.lower() in known else "pinned" if dll.lower() in pinned else None
        print(f"  {dll}: {kind or 'NEITHER a KnownDLL nor pinned'}")
        if not kind:
            bad.append(dll)
    for dll in bad:
        print(f"check_imports: {dll} would be looked for beside the executable first; "
              f"imported: {', '.join(table[dll]) or '?'}")
        print("  bind its functions at run time (a row each in fw/uSystemLibraryTable.h) "
              "or pin it in res/VeltranoShieldSetup.manifest")
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main())
