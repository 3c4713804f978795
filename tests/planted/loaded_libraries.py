#!/usr/bin/env python3
"""Reads Wine's load trace of one run (WINEDEBUG=+loaddll,+module) and prints,
one per line, the libraries loaded once the executable's own code had started
that are not on the KnownDLLs list (docs/known-dlls.txt).

Libraries loaded before that point came with the import table, which names
only KnownDLLs: on Windows these and what they bring with them are in the
\\KnownDlls object directory, never taken from beside the executable. Under
Wine, which keeps no such list, a planted copy of them would be bound when
native libraries are preferred, so they are left out (printed to stderr).

usage: loaded_libraries.py TRACE KNOWN_DLLS_TXT
"""
import re
import sys

# The first thing the executable's own start-up code does (mingw's C runtime
# looks for the shared libgcc to register its unwind tables).
CODE_STARTS = re.compile(r'LdrGetDllHandleEx L"libgcc_s_dw2-1\.dll"')
LOADED = re.compile(r'trace:loaddll:\w+ Loaded L"([^"]+)" at \w+: (\w+)')


def main():
    trace, known_path = sys.argv[1:3]
    known = set()
    with open(known_path, encoding="utf-8") as f:
        for line in f:
            line = line.split("#", 1)[0].strip()
            if line:
                known.add(line.lower())
    before, after, started = set(), set(), False
    with open(trace, encoding="utf-8", errors="replace") as f:
        for line in f:
            if not started and CODE_STARTS.search(line):
                started = True
                continue
            m = LOADED.search(line)
            if not m:
                continue
            name = m.group(1).replace("\\\\", "\\").rsplit("\\", 1)[-1].lower()
            if name.endswith(".exe"):
                continue
            (after if started else before).add(name)
    if not started:
        print(f"loaded_libraries: {trace}: the executable's start was not found in the trace", file=sys.stderr)
        return 1
    stem = lambda n: n[:-4] if n.endswith(".dll") else n
    planted = sorted(n for n in after - before if stem(n) not in known)
    skipped = sorted(n for n in before if stem(n) not in known)
    print("bound with the import table (on Windows in \\KnownDlls): " + " ".join(skipped), file=sys.stderr)
    for n in planted:
        print(n)
    return 0


if __name__ == "__main__":
    sys.exit(main())
