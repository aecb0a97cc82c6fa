#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (build-fuzz) and runs each for a given time on a work
# copy of its seed corpus (build-fuzz/corpus/<target>, kept between runs). Inputs that crash are
# saved to tests/fuzz/crashes/<target>/, where ./test.sh replays them as regression tests.
#
#   ./fuzz.sh [seconds per target, default 600] [target...]
#   targets: those the build makes (tests/fuzz/CMakeLists.txt lists them; all when none is named)
set -euo pipefail
cd "$(dirname "$0")"

seconds=${1:-600}
[ $# -gt 0 ] && shift
if ! [[ $seconds =~ ^[0-9]+$ ]] || [ "$seconds" -lt 1 ]; then
    echo "usage: $0 [seconds per target] [target...]" >&2
    exit 2
fi

./scripts/deps.sh
build=build-fuzz
cmake -S . -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DQV_FUZZ=ON -DQV_BUILD_GUI=OFF \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
# The build's own list of targets: the script cannot run fewer or know one the build lacks.
mapfile -t all_targets <"$build/fuzz_targets.txt"
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=("${all_targets[@]}")
for t in "${targets[@]}"; do
    [[ " ${all_targets[*]} " == *" $t "* ]] ||
        { echo "unknown target: $t (the build makes: ${all_targets[*]})" >&2; exit 2; }
done

# Largest input per target: big enough for every seed, small enough to keep runs quick; 4 KiB
# for a target not named here. The contents seeds hold a texture of 1,048,576 x 1.
declare -A max_len=([cache_ini]=8192 [profile]=8192 [registry]=8192 [avi]=65536 [package]=4096
                    [contents]=1100000)
# A target that keeps crashing is left after this many saved inputs.
max_crashes=5

cmake --build "$build" -j "$(nproc)" --target "${targets[@]/#/fuzz_}" gen_fuzz_seeds

# The targets' scratch files go to memory when it can: profile writes are flushed to disk.
if [ -z "${TMPDIR:-}" ] && [ -d /dev/shm ] && [ -w /dev/shm ]; then export TMPDIR=/dev/shm; fi
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
summary=()
for t in "${targets[@]}"; do
    work=$build/corpus/$t
    crashes=tests/fuzz/crashes/$t
    logs=$build/logs/$t
    mkdir -p "$work" "$crashes" "$logs"
    cp -n tests/fuzz/corpus/"$t"/* "$work"/ 2>/dev/null || true
    # The hostile shapes, made by the project's writer at each run.
    [ "$t" = contents ] && "$build/gen_fuzz_seeds" "$work"
    crashes_before=$(find "$crashes" -type f | wc -l)

    # libFuzzer stops at the first crash; start it again for the rest of the time.
    start=$(date +%s)
    execs=0 runs=0 cov_start="" cov_end="" active="?" found=0
    while :; do
        left=$((seconds - ($(date +%s) - start)))
        [ "$left" -ge 1 ] || break
        runs=$((runs + 1))
        log=$logs/run$runs.log
        echo "== $t: run $runs, ${left}s left (log: $log)"
        set +e
        "$build/fuzz_$t" "$work" -max_total_time="$left" -max_len="${max_len[$t]:-4096}" \
            -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
            -artifact_prefix="$crashes/" >"$log" 2>&1
        rc=$?
        set -e
        n=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
        execs=$((execs + ${n:-0}))
        [ -n "$cov_start" ] || cov_start=$(grep -o 'INITED cov: [0-9]*' "$log" | head -1 | grep -o '[0-9]*$' || true)
        c=$(grep -o ' cov: [0-9]*' "$log" | tail -1 | grep -o '[0-9]*$' || true)
        [ -n "$c" ] && cov_end=$c
        u=$(grep -o ' corp: [0-9]*/[0-9]*[a-zA-Z]*' "$log" | tail -1 | sed 's/ corp: //' || true)
        [ -n "$u" ] && active=$u
        [ "$rc" -eq 0 ] && break
        grep -E 'ERROR: |property broken|Test unit written' "$log" | head -5 || true
        found=$(($(find "$crashes" -type f | wc -l) - crashes_before))
        if [ "$found" -ge "$max_crashes" ] || ! grep -q 'Test unit written' "$log"; then
            echo "== $t: stopping (exit code $rc)"
            break
        fi
    done
    elapsed=$(($(date +%s) - start))
    found=$(($(find "$crashes" -type f | wc -l) - crashes_before))
    corpus=$(find "$work" -type f | wc -l)
    rate=$((execs / (elapsed > 0 ? elapsed : 1)))
    summary+=("$(printf '%-10s %6ss %12s execs %7s exec/s  cov %s -> %s  corpus %s in use (%s files)  crashes %s' \
        "$t" "$elapsed" "$execs" "$rate" "${cov_start:-?}" "${cov_end:-?}" "$active" "$corpus" "$found")")
done

echo
echo "== fuzzing summary (crash inputs in tests/fuzz/crashes/<target>/) =="
printf '%s\n' "${summary[@]}"
