#!/usr/bin/env python3
"""Turns resources/messages.txt into the two forms the builds read:
   --rc  OUT : a STRINGTABLE for windres (the Windows executable's string resources);
   --inc OUT : a C++ table of {code, "text"} rows for the host build's resource seam.
Each input line is: CODE "TEXT" (text taken verbatim, trailing blanks included)."""
import re
import sys


def read_table(path):
    rows = []
    with open(path, encoding="ascii") as f:
        for number, line in enumerate(f, 1):
            line = line.rstrip("\n")
            if not line or line.startswith("#"):
                continue
            m = re.fullmatch(r'(\d+) "(.*)"', line)
            if not m:
                sys.exit(f"{path}:{number}: expected CODE \"TEXT\"")
            code, text = int(m.group(1)), m.group(2)
            if len(text) > 255:
                sys.exit(f"{path}:{number}: text longer than 255 bytes")
            rows.append((code, text))
    codes = [c for c, _ in rows]
    if len(codes) != len(set(codes)):
        sys.exit(f"{path}: duplicate code")
    return rows


def rc_quote(text):
    return '"' + text.replace("\\", "\\\\").replace('"', '""') + '"'


def c_quote(text):
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'


def main():
    args = sys.argv[1:]
    if len(args) != 3 or args[1] not in ("--rc", "--inc"):
        sys.exit("usage: gen_messages.py messages.txt --rc|--inc OUT")
    rows = read_table(args[0])
    with open(args[2], "w", encoding="ascii", newline="\n") as out:
        out.write("// Generated from resources/messages.txt; do not edit.\n")
        if args[1] == "--rc":
            out.write("STRINGTABLE\nBEGIN\n")
            for code, text in rows:
                out.write(f"  {code}, {rc_quote(text)}\n")
            out.write("END\n")
        else:
            for code, text in rows:
                out.write(f"{{{code}, {c_quote(text)}}},\n")


if __name__ == "__main__":
    main()
