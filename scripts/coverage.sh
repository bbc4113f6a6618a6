#!/usr/bin/env bash
# Line coverage of the native test suites: builds the linux preset with --coverage into
# build/coverage, runs every native test executable, and has gcovr report per file for the
# portable code (image/, app/batch/, cli/, platform/portable/). A file or line shown uncovered
# is code no test runs: look there before cutting a test.
#   scripts/coverage.sh              summary table on stdout
#   scripts/coverage.sh --html       also build/coverage/html/index.html, line by line
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$repo"
build=build/coverage
jobs=${VANTRY_JOBS:-2}

cmake --preset linux -B "$build" -DCMAKE_BUILD_TYPE=Debug \
    -DCMAKE_CXX_FLAGS="--coverage -fprofile-update=atomic" -DCMAKE_EXE_LINKER_FLAGS=--coverage >/dev/null
cmake --build "$build" -j "$jobs" >/dev/null
find "$build" -name '*.gcda' -delete
for test in "$build"/tests/vantry_*_tests; do
    "$test" --gtest_brief=1 >/dev/null || echo "coverage: $(basename "$test") had failures" >&2
done

filters=(--filter 'image/' --filter 'app/batch/' --filter 'cli/' --filter 'platform/portable/')
gcovr -r . "$build" "${filters[@]}" --exclude-unreachable-branches --sort-percentage --txt
if [[ ${1:-} == --html ]]; then
    mkdir -p "$build/html"
    gcovr -r . "$build" "${filters[@]}" --html-details "$build/html/index.html"
    echo "coverage: $build/html/index.html"
fi
