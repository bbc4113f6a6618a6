#!/usr/bin/env bash
# Builds and tests every preset: linux (native), linux-asan (AddressSanitizer and
# UndefinedBehaviorSanitizer) and windows (MinGW-w64, the tests under Wine on a private Xvfb
# display). Warnings are errors. Prints one "<preset>: N passed, N failed, N skipped" line per preset and
# a total line last; exits non-zero when anything fails to build or pass.
#   scripts/test.sh                  install what is missing, then all three presets
#   scripts/test.sh linux windows    only the presets named
# VANTRY_SKIP_DEPS=1 skips the install step; VANTRY_JOBS sets the parallelism (default 2).
set -uo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$repo"
jobs=${VANTRY_JOBS:-2}
presets=("$@")
((${#presets[@]})) || presets=(linux linux-asan windows)

if [[ ${VANTRY_SKIP_DEPS:-0} != 1 ]]; then
    scripts/install-deps.sh || { echo "test: installing the dependencies failed" >&2; exit 1; }
fi

source scripts/wine-env.sh
trap vantry_wine_stop EXIT

summary=()
total_passed=0
total_failed=0
total_skipped=0

# Runs a step quietly into a log, showing the log's end when it fails.
step() {
    local log=$1; shift
    local start=$SECONDS
    if "$@" >"$log" 2>&1; then
        echo "   ok: $* ($((SECONDS - start)) s)"
        grep -E 'warning:' "$log" | sort -u | sed 's/^/   warning | /' || true
        return 0
    fi
    echo "   FAILED: $* ($((SECONDS - start)) s); end of $log:"
    tail -n 80 "$log" | sed 's/^/   | /'
    return 1
}

run_preset() {
    local preset=$1 dir="build/$1"
    echo "== $preset"
    mkdir -p "$dir"
    step "$dir/configure.log" cmake --preset "$preset" -DVANTRY_WERROR=ON || return 1
    step "$dir/build.log" cmake --build --preset "$preset" -j"$jobs" || return 1
    if [[ $preset == linux ]]; then
        # Built, not run: the benchmarks share the tests' picture and metafile writers.
        step "$dir/bench.log" cmake --build --preset "$preset" --target benchmarks -j"$jobs" || return 1
    fi
    if [[ $preset == windows ]]; then
        vantry_wine_start || { echo "   FAILED: could not start Wine and Xvfb"; return 1; }
    fi
    # Under Wine a test process now and then dies at start-up (a failure within a few
    # hundredths of a second, a different test each time, never on a rerun): the Windows tests
    # get one more try, and the log keeps the first failure.
    local retry=()
    [[ $preset == windows ]] && retry=(--repeat until-pass:2)
    local start=$SECONDS
    ctest --preset "$preset" -j"$jobs" --timeout 300 "${retry[@]}" 2>&1 | tee "$dir/ctest.log"
    local ctest_status=${PIPESTATUS[0]}
    echo "   ctest took $((SECONDS - start)) s"
    [[ $preset == windows ]] && vantry_wine_stop

    # "100% tests passed, 0 tests failed out of 42"
    local line total
    line=$(grep -E '[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$dir/ctest.log" | tail -n1)
    if [[ -z $line ]]; then
        echo "   FAILED: ctest ran no test"
        return 1
    fi
    preset_failed=$(sed -E 's/.* ([0-9]+) tests? failed out of.*/\1/' <<<"$line")
    total=$(sed -E 's/.*failed out of ([0-9]+).*/\1/' <<<"$line")
    preset_skipped=$(grep -cE '^[[:space:]]*[0-9]+ - .*\(Skipped\)$' "$dir/ctest.log" || true)
    preset_passed=$((total - preset_failed - preset_skipped))
    # A test executable that could not even list its tests shows up only in ctest's status.
    if ((ctest_status != 0 && preset_failed == 0)); then preset_failed=1; fi
    return 0
}

for preset in "${presets[@]}"; do
    preset_passed=0
    preset_failed=0
    preset_skipped=0
    if run_preset "$preset"; then
        summary+=("$preset: $preset_passed passed, $preset_failed failed, $preset_skipped skipped")
    else
        preset_failed=$((preset_failed > 0 ? preset_failed : 1))
        summary+=("$preset: $preset_passed passed, $preset_failed failed (did not build or run)")
    fi
    total_passed=$((total_passed + preset_passed))
    total_failed=$((total_failed + preset_failed))
    total_skipped=$((total_skipped + preset_skipped))
done

echo
printf '%s\n' "${summary[@]}"
echo "$total_passed passed, $total_failed failed, $total_skipped skipped"
((total_failed == 0))
