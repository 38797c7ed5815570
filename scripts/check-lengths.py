#!/usr/bin/env python3
"""Checks the size limits of the C++ sources: no function longer than its
folder allows, no source file over 600 lines.

A function is a brace opened at namespace or class level after a header that
holds a parenthesis (a lambda assigned at that level counts too); its length
runs from the first line of its header to its closing brace. Strings,
character literals, comments and preprocessor lines are blanked first.

  scripts/check-lengths.py            check; exit 1 on a breach
  scripts/check-lengths.py --top N    also list the N longest functions
"""
import re
import subprocess
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
# (folder, longest function): the product code, then the tools.
LIMITS = [("extension/", 60), ("kernel/", 60), ("launcher/", 60), ("tools/", 80)]
FILE_LIMIT = 600
CONTAINERS = re.compile(r'^(template\s*<.*>\s*)?(class|struct|union|namespace|extern\s+"C")\b')
CONTROL = re.compile(r'^(if|for|while|switch|catch|do|else|try)\b')


def blank(text):
    """The text with literals and comments replaced by spaces, lines kept."""
    pattern = re.compile(r'//[^\n]*|/\*.*?\*/|R"(\w*)\(.*?\)\1"|"(\\.|[^"\\\n])*"|\'(\\.|[^\'\\\n])*\'', re.S)
    text = pattern.sub(lambda m: re.sub(r"[^\n]", " ", m.group(0)), text)
    return re.sub(r"^[ \t]*#.*$", "", text, flags=re.M)


def functions(text):
    """(name line, first line, last line) of every function of a source."""
    code = blank(text)
    found, scopes = [], []  # scopes: "container", "function" or "block"
    header_start, line = None, 1
    header = []
    for ch in code:
        if ch == "\n":
            line += 1
            continue
        if ch in ";{}":
            head = " ".join("".join(header).split())
            if ch == "{":
                inside_function = any(kind == "function" for kind in scopes)
                if CONTAINERS.match(head) and not inside_function:
                    scopes.append(("container", 0))
                elif "(" in head and not inside_function and not CONTROL.match(head) and not head.endswith("="):
                    scopes.append(("function", header_start or line))
                else:
                    scopes.append(("block", 0))
            elif ch == "}" and scopes:
                kind, start = scopes.pop()
                if kind == "function":
                    found.append((start, line))
            header, header_start = [], None
            continue
        if not ch.isspace() and header_start is None:
            header_start = line
        header.append(ch)
    return found


def limit_for(path):
    for folder, limit in LIMITS:
        if path.startswith(folder):
            return limit
    return None


def main():
    top = int(sys.argv[sys.argv.index("--top") + 1]) if "--top" in sys.argv else 0
    files = subprocess.run(["git", "ls-files", "*.cpp", "*.h"], cwd=ROOT, capture_output=True, text=True,
                           check=True).stdout.split()
    breaches, lengths = [], []
    for name in files:
        text = (ROOT / name).read_text(encoding="utf-8", errors="replace")
        lines = text.splitlines()
        if len(lines) > FILE_LIMIT:
            breaches.append(f"{name}: {len(lines)} lines (limit {FILE_LIMIT})")
        limit = limit_for(name)
        if limit is None:
            continue
        for start, end in functions(text):
            length = end - start + 1
            lengths.append((length, f"{name}:{start}", lines[start - 1].strip()[:70]))
            if length > limit:
                breaches.append(f"{name}:{start}: function of {length} lines (limit {limit}): {lines[start - 1].strip()[:60]}")
    for length, where, head in sorted(lengths, reverse=True)[:top]:
        print(f"{length:4d}  {where}  {head}")
    for breach in breaches:
        print(breach, file=sys.stderr)
    return 1 if breaches else 0


if __name__ == "__main__":
    sys.exit(main())
