#!/usr/bin/env python3
"""Mutation check: applies each fault listed in mutants.txt to the tree, one at a time, rebuilds
only the test executables of the fault's area in an already configured build directory (one
object recompiles, the tests relink), runs them, and reports whether a test failed (killed) or
every test passed (survived). The source file is restored after every fault, also on Ctrl-C.
The results file names, for each fault, the tests that failed: a test that is alone in killing
none of them adds nothing the others do not catch.

  tests/mutation/run-mutants.py [--tree DIR] [--build DIR] [--only TEXT[,TEXT...]] [--results FILE] [--first-kill]

With --first-kill the executables of an area are built and run one at a time, quickest first,
until one fails: the verdicts are the same, the results name the killers of the first failing
executable only, and a loaded machine gets through the list several times faster.

A mutant whose build fails is reported as 'stillborn' and counts for neither side. Run it under
`nice` on a shared machine; results go to stdout and, as tab-separated lines, to --results."""
import argparse
import collections
import os
import pathlib
import re
import signal
import subprocess
import sys

# The test executables that can see a fault in each area, the quickest first.
AREA_TESTS = {
    "core": ["vantry_image_tests", "vantry_batch_tests", "vantry_codec_tests"],
    "resample": ["vantry_image_tests", "vantry_batch_tests"],
    "marker": ["vantry_image_tests", "vantry_platform_tests", "vantry_batch_tests"],
    "stream": ["vantry_image_tests", "vantry_codec_tests"],
    "jpeg": ["vantry_image_tests", "vantry_cli_tests", "vantry_batch_tests", "vantry_codec_tests"],
    "exif": ["vantry_codec_tests"],
    "batch": ["vantry_batch_tests", "vantry_cli_tests"],
    "cli": ["vantry_cli_tests"],
}

Mutant = collections.namedtuple("Mutant", "area name path original replacement")


def read_mutants(listing):
    """Blocks of four lines: '[area] name', the file, '- original', '+ replacement' (where \\n
    stands for a line break)."""
    mutants, block = [], []
    for line in listing.read_text().splitlines():
        if not line.strip() or line.startswith("#"):
            continue
        block.append(line)
        if len(block) == 4:
            head, path, minus, plus = block
            area, name = head[1:].split("]", 1)
            if not (minus.startswith("- ") and plus.startswith("+ ")):
                sys.exit(f"malformed mutant block: {head}")
            mutants.append(Mutant(area.strip(), name.strip(), path.strip(), minus[2:].strip(),
                                  plus[2:].strip().replace("\\n", "\n")))
            block = []
    if block:
        sys.exit(f"incomplete mutant block: {block[0]}")
    return mutants


def pattern(original):
    """The original text as a regular expression in which every run of white space matches any run."""
    return re.compile(r"\s+".join(re.escape(word) for word in original.split()))


def run(command, timeout):
    try:
        return subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                              timeout=timeout).returncode
    except subprocess.TimeoutExpired:
        return "timeout"


def failing_tests(executable, timeout):
    """The names of the tests that fail (all of them run), or ['timeout'] / ['crash']."""
    try:
        result = subprocess.run([executable, "--gtest_brief=1"], stdout=subprocess.PIPE,
                                stderr=subprocess.DEVNULL, text=True, errors="replace", timeout=timeout)
    except subprocess.TimeoutExpired:
        return [f"{pathlib.Path(executable).name}:timeout"]
    names = sorted({line.split()[3] for line in result.stdout.splitlines()
                    if line.startswith("[  FAILED  ]") and len(line.split()) > 3 and "." in line.split()[3]})
    if result.returncode != 0 and not names:
        names = [f"{pathlib.Path(executable).name}:crash"]
    return names


def main():
    here = pathlib.Path(__file__).resolve().parent
    parser = argparse.ArgumentParser()
    parser.add_argument("--tree", default=str(here.parent.parent))
    parser.add_argument("--build")
    parser.add_argument("--only", default="", help="run only mutants whose area or name contains this "
                        "(or one of several, comma-separated)")
    parser.add_argument("--results")
    parser.add_argument("--first-kill", action="store_true", help="stop at the first failing executable")
    args = parser.parse_args()
    tree = pathlib.Path(args.tree).resolve()
    build = pathlib.Path(args.build or tree / "build" / "linux")
    wanted = args.only.split(",")
    mutants = [m for m in read_mutants(here / "mutants.txt") if any(w in m.area or w in m.name for w in wanted)]
    # One file after another: consecutive faults in one file recompile only that file.
    mutants.sort(key=lambda m: (m.path, m.area, m.name))

    restore = {}

    def put_back(*_):
        for path, text in restore.items():
            path.write_text(text)
        restore.clear()

    signal.signal(signal.SIGTERM, lambda *a: (put_back(), sys.exit(1)))
    tally = collections.defaultdict(collections.Counter)
    lines = []
    try:
        for m in mutants:
            source = tree / m.path
            text = source.read_text()
            killers = []
            found = list(pattern(m.original).finditer(text))
            if len(found) != 1:
                verdict = "unmatched"
            else:
                restore[source] = text
                start, end = found[0].span()
                source.write_text(text[:start] + m.replacement + text[end:])
                targets = AREA_TESTS[m.area]
                # With --first-kill each executable is built just before it runs, so a fault
                # the first one kills links no other.
                batches = [[t] for t in targets] if args.first_kill else [targets]
                verdict = None
                for batch in batches:
                    if run(["cmake", "--build", str(build), "-j2", "--target", *batch], 1800) != 0:
                        verdict = "stillborn"
                        break
                    for target in batch:
                        killers += failing_tests(str(build / "tests" / target), 300)
                    if killers and args.first_kill:
                        break
                verdict = verdict or ("killed" if killers else "survived")
                put_back()
            tally[m.area][verdict] += 1
            lines.append(f"{m.area}\t{m.name}\t{verdict}\t{' '.join(killers)}")
            print(f"{verdict:10} [{m.area}] {m.name}", flush=True)
    finally:
        put_back()
    # Leave the build matching the restored tree.
    run(["cmake", "--build", str(build), "-j2"], 3600)

    print("\narea        killed  survived  other")
    for area in sorted(tally):
        c = tally[area]
        print(f"{area:10} {c['killed']:7} {c['survived']:9} {c['stillborn'] + c['unmatched']:6}")
    total = sum(tally.values(), collections.Counter())
    print(f"{'total':10} {total['killed']:7} {total['survived']:9} {total['stillborn'] + total['unmatched']:6}")
    if args.results:
        pathlib.Path(args.results).write_text("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
