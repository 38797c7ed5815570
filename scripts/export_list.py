#!/usr/bin/env python3
"""The export list of TVISX (extension/export_list.h) for the build.

The list is read through the C++ preprocessor that compiles it, so that it
is read exactly as the code reads it.

  export_list.py --cxx COMPILER def [--plain] OUTPUT
      writes the module definition file: every export under its plain name;
      a stdcall export names its decorated symbol ("Name = Name@bytes", four
      bytes per argument), unless --plain (64-bit symbols carry no decoration).
  export_list.py --cxx COMPILER check-docs [--stamp FILE] DOC...
      checks the export tables ("| Export | Arguments | Result |") of each
      document against the list: the same exports, each once, with as many
      arguments, out arguments where the list has them and "nothing" as the
      result exactly of the exports without one. A table whose arguments
      carry the trace kinds (`_vs` path, ...) must show the kinds of the
      list, and the capacity of a string out of fixed size: `_rs` code (4).
"""
import argparse
import os
import re
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
LIST = os.path.join(HERE, "..", "extension", "export_list.h")

DUMP = """#include "export_list.h"
#define VS(name) VS
#define VI(name) VI
#define VH(name) VH
#define RS(name, capacity) RS capacity
#define ARG(n) @n
#define RI(name) RI
#define RH(name) RH
#define X(name, convention, result, frame, parameters) TV_ENTRY name convention result frame parameters ;
TV_EXPORT_LIST(X)
"""

TRACE_KIND = {"VS": "_vs", "VI": "_vi", "VH": "_vi", "RS": "_rs", "RI": "_ri", "RH": "_ri"}


class Export:
    def __init__(self, name, convention, result, parameters):
        self.name = name
        self.convention = convention
        self.result = result
        self.kinds = [p.split()[0] for p in parameters]
        # Fixed capacities of string outs, by position.
        self.capacities = {i: int(p.split()[1]) for i, p in enumerate(parameters)
                           if p.startswith("RS") and not p.split()[1].startswith("@")}


def read_list(cxx):
    out = subprocess.run([cxx, "-E", "-P", "-x", "c++", "-I", os.path.dirname(LIST), "-"], input=DUMP,
                         capture_output=True, text=True)
    if out.returncode != 0:
        sys.exit("cannot read the export list:\n" + out.stderr)
    exports = []
    for m in re.finditer(r"TV_ENTRY\s+(\w+)\s+(\w+)\s+(\w+)\s+(\w+)\s*\(([^)]*)\)\s*;", out.stdout):
        params = [re.sub(r"\s+", " ", p).replace("@ ", "@").strip() for p in m.group(5).split(",") if p.strip()]
        exports.append(Export(m.group(1), m.group(2), m.group(3), params))
    if len(exports) != out.stdout.count("TV_ENTRY") or not exports:
        sys.exit("export list: an entry does not read as X(name, convention, result, frame, (parameters))")
    return exports


def write_def(exports, plain, path):
    lines = ["; TVISX.def, written by scripts/export_list.py from extension/export_list.h.",
             "LIBRARY TVISX.dll", "EXPORTS"]
    for e in exports:
        decorated = e.convention == "Stdcall" and not plain
        lines.append(f"  {e.name} = {e.name}@{4 * len(e.kinds)}" if decorated else f"  {e.name}")
    text = "\n".join(lines) + "\n"
    old = open(path).read() if os.path.exists(path) else None
    if text != old:
        with open(path, "w") as f:
            f.write(text)


def split_top(text):
    """Splits at the commas outside parentheses."""
    items, depth, current = [], 0, ""
    for c in text:
        depth += (c == "(") - (c == ")")
        if c == "," and depth == 0:
            items.append(current.strip())
            current = ""
        else:
            current += c
    items.append(current.strip())
    return [i for i in items if i]


def table_rows(path):
    rows, in_table = [], False
    for number, line in enumerate(open(path, encoding="utf-8"), 1):
        cells = [c.strip() for c in line.strip().strip("|").split("|")] if line.startswith("|") else None
        if cells == ["Export", "Arguments", "Result"]:
            in_table = True
        elif not cells:
            in_table = False
        elif in_table and not set(cells[0]) <= set("-: "):
            rows.append((number, cells))
    return rows


def check_doc(exports, path):
    by_name = {e.name: e for e in exports}
    seen, errors = set(), []
    for number, cells in table_rows(path):
        where = f"{path}:{number}"
        m = re.fullmatch(r"`(\w+)`", cells[0])
        if not m or len(cells) != 3:
            errors.append(f"{where}: a row of an export table reads | `Export` | arguments | result |")
            continue
        name = m.group(1)
        e = by_name.get(name)
        if not e:
            errors.append(f"{where}: {name} is not in the export list")
            continue
        if name in seen:
            errors.append(f"{where}: {name} is listed twice")
        seen.add(name)
        args = [] if cells[1] == "none" else split_top(cells[1])
        if len(args) != len(e.kinds):
            errors.append(f"{where}: {name} has {len(args)} arguments here, {len(e.kinds)} in the export list")
            continue
        for i, (arg, kind) in enumerate(zip(args, e.kinds)):
            traced = re.match(r"`(_\w\w)`", arg)
            if traced and traced.group(1) != TRACE_KIND[kind]:
                errors.append(f"{where}: argument {i + 1} of {name} is {TRACE_KIND[kind]}, not {traced.group(1)}")
            elif not traced and bool(re.search(r"\bout\b", arg)) != kind.startswith("R"):
                errors.append(f"{where}: argument {i + 1} of {name} is {'an out' if kind.startswith('R') else 'an in'}"
                              f" argument in the export list")
            if traced and i in e.capacities and f"({e.capacities[i]})" not in arg:
                errors.append(f"{where}: argument {i + 1} of {name} is a string out of {e.capacities[i]} bytes")
        if (cells[2] == "nothing") != (e.result == "Nothing"):
            errors.append(f"{where}: {name} returns {'nothing' if e.result == 'Nothing' else 'a result'}")
    for e in exports:
        if e.name not in seen:
            errors.append(f"{path}: {e.name} of the export list is missing from its export tables")
    return errors


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--cxx", required=True)
    sub = parser.add_subparsers(dest="command", required=True)
    d = sub.add_parser("def")
    d.add_argument("--plain", action="store_true")
    d.add_argument("output")
    c = sub.add_parser("check-docs")
    c.add_argument("--stamp")
    c.add_argument("docs", nargs="+")
    args = parser.parse_args()
    exports = read_list(args.cxx)
    if args.command == "def":
        write_def(exports, args.plain, args.output)
        return
    errors = [e for doc in args.docs for e in check_doc(exports, doc)]
    if errors:
        sys.exit("\n".join(errors) + "\nThe export tables of the documents differ from extension/export_list.h.")
    if args.stamp:
        open(args.stamp, "w").close()


if __name__ == "__main__":
    main()
