#!/usr/bin/env python3
"""Line coverage per test: which product lines each native test runs, and which of them no
other test runs. A test that runs no line of its own adds only its checks; before cutting it,
see that another test makes the same checks. Needs the build of scripts/coverage.sh.

  scripts/coverage-per-test.py                       runs every test alone (a few minutes), then
                                                     lists each with the lines only it runs
  scripts/coverage-per-test.py --without T [T ...]   the lines no test runs once tests T go
                                                     (Suite.Name, or Suite. for a whole suite)
The per-test table is kept in build/coverage/per-test.json; --without reads it."""
import argparse, collections, glob, json, os, subprocess, sys

repo = os.path.realpath(os.path.join(os.path.dirname(__file__), ".."))
build = os.path.join(repo, "build", "coverage")
table_path = os.path.join(build, "per-test.json")
product = ("image/", "app/batch/", "cli/", "platform/portable/")


def executed_lines():
    """Product lines with a non-zero count in the .gcda files gathered so far."""
    lines = set()
    by_directory = collections.defaultdict(list)
    for gcda in glob.glob(f"{build}/**/*.gcda", recursive=True):
        by_directory[os.path.dirname(gcda)].append(gcda)
    for directory, files in by_directory.items():
        report = subprocess.run(["gcov", "--json-format", "--stdout", "-o", directory, *files],
                                capture_output=True, text=True, cwd=build).stdout
        for document in filter(str.strip, report.splitlines()):
            for source in json.loads(document)["files"]:
                path = os.path.relpath(os.path.join(build, source["file"]), repo)
                if path.startswith(product):
                    lines.update(f"{path}:{l['line_number']}" for l in source["lines"] if l["count"])
    return lines


def measure():
    table = {}
    for executable in sorted(glob.glob(f"{build}/tests/vantry_*_tests")):
        listing = subprocess.run([executable, "--gtest_list_tests"], capture_output=True, text=True).stdout
        suite = ""
        for line in listing.splitlines():
            name = line.split("#")[0].strip()
            if not line.startswith(" "):
                suite = name
                continue
            for gcda in glob.glob(f"{build}/**/*.gcda", recursive=True):
                os.remove(gcda)
            subprocess.run([executable, f"--gtest_filter={suite}{name}"], capture_output=True,
                           cwd=os.path.dirname(executable))
            # Parameterised instances count as one test: Prefix/Suite.Name/3 -> Suite.Name
            key = suite.split("/")[-1] + name.split("/")[0]
            table[key] = sorted(set(table.get(key, [])) | executed_lines())
    with open(table_path, "w") as out:
        json.dump(table, out)
    return table


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--without", nargs="+", metavar="TEST")
    args = parser.parse_args()
    if args.without:
        table = {test: set(lines) for test, lines in json.load(open(table_path)).items()}
        gone = {t for t in table for w in args.without if t == w or (w.endswith(".") and t.startswith(w))}
        kept = set().union(*(lines for t, lines in table.items() if t not in gone))
        lost = sorted(set().union(*(table[t] for t in gone)) - kept)
        print(f"{len(gone)} tests, {len(lost)} lines no other test runs")
        print("\n".join(lost))
        return
    if not glob.glob(f"{build}/tests/vantry_*_tests"):
        sys.exit(f"no coverage build in {build}: run scripts/coverage.sh first")
    table = {test: set(lines) for test, lines in measure().items()}
    runs = collections.Counter(line for lines in table.values() for line in lines)
    for test in sorted(table, key=lambda t: sum(runs[l] == 1 for l in table[t])):
        print(f"{sum(runs[l] == 1 for l in table[test]):5d} own {len(table[test]):6d} run  {test}")


if __name__ == "__main__":
    main()
