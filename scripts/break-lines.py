#!/usr/bin/env python3
"""Breaks single lines of the driver, one at a time, and reports which breaks
the suites still pass: a break that passes is a behaviour no test checks.

Each line of the list file is one break:

    path :: text to find :: text to put instead :: ctest regex

The text to find must occur exactly once in the file; \n in either text
stands for a line break. Lines starting with #
and blank lines are skipped. The break is applied in place, the build folder
is rebuilt, the tests matching the regex run, and the file is restored
whatever happens (also on Ctrl-C).

A break that must change several places at once (a record and the table
that fills it, say) lists more edits before the regex, three parts each:

    path :: old :: new :: path :: old :: new :: ctest regex

    scripts/break-lines.py scripts/breaks.txt [--build build]
    scripts/break-lines.py scripts/breaks-*.txt --check

With --check nothing is built or run: every break of the lists is only
looked up, and those whose text no longer occurs exactly once (the code
moved on) are reported.
"""
import argparse
import pathlib
import subprocess
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent


def parse(list_file):
    breaks = []
    for number, line in enumerate(pathlib.Path(list_file).read_text().splitlines(), 1):
        if not line.strip() or line.lstrip().startswith("#"):
            continue
        parts = [part.strip().replace("\\n", "\n") for part in line.split(" :: ")]
        if len(parts) < 4 or (len(parts) - 1) % 3 != 0:
            sys.exit(f"{list_file}:{number}: expected 'path :: old :: new [:: path :: old :: new]... :: tests'")
        edits = [tuple(parts[i:i + 3]) for i in range(0, len(parts) - 1, 3)]
        breaks.append((number, edits, parts[-1]))
    return breaks


def run(command, build):
    return subprocess.run(command, cwd=build, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode


def try_break(build, edits, tests):
    originals = {}
    try:
        for path, old, new in edits:
            source = ROOT / path
            text = source.read_text()
            if text.count(old) != 1:
                return "text not found once"
            originals.setdefault(source, text)
            source.write_text(text.replace(old, new))
        if run(["cmake", "--build", "."], build) != 0:
            return "does not build"
        return "PASSES (not caught)" if run(["ctest", "-R", tests], build) == 0 else "caught"
    finally:
        for source, text in originals.items():
            source.write_text(text)


def stale(edits):
    """Whether some edit of a break, applied in turn as a run would, no longer
    finds its text exactly once."""
    texts = {}
    for path, old, new in edits:
        text = texts.setdefault(path, (ROOT / path).read_text())
        if text.count(old) != 1:
            return True
        texts[path] = text.replace(old, new)
    return False


def check(lists):
    found = 0
    for list_file in lists:
        for number, edits, _ in parse(list_file):
            if stale(edits):
                found += 1
                print(f"{list_file}:{number}: text not found once in {edits[0][0]}")
    print(f"{found} stale break(s)")
    return 1 if found else 0


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("list", nargs="+")
    parser.add_argument("--build", default="build")
    parser.add_argument("--check", action="store_true", help="only look the breaks up")
    arguments = parser.parse_args()
    if arguments.check:
        return check(arguments.list)
    if len(arguments.list) != 1:
        parser.error("give one list to run")
    arguments.list = arguments.list[0]
    build = ROOT / arguments.build
    missed = 0
    for number, edits, tests in parse(arguments.list):
        outcome = try_break(build, edits, tests)
        missed += outcome != "caught"
        path, old, new = edits[0]
        more = f" (+{len(edits) - 1} more)" if len(edits) > 1 else ""
        print(f"{number:4}  {outcome:20}  {path}: {old[:60]!r} -> {new[:40]!r}{more}", flush=True)
    run(["cmake", "--build", "."], build)
    print(f"{missed} break(s) not caught")
    return 1 if missed else 0


if __name__ == "__main__":
    sys.exit(main())
