#!/usr/bin/env bash
# Builds the readers' libFuzzer harnesses with clang (installed when missing) and runs each
# for the given time, at most three at once; new inputs go to build-fuzz/corpus/<name>/,
# crashes to build-fuzz/findings/<name>/. The stored seeds are in tests/fuzz/corpus/.
# Usage: scripts/fuzz.sh [seconds per harness, default 600] [harness names ...]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-600}
shift || true
harnesses=("$@")
if [ ${#harnesses[@]} -eq 0 ]; then
    harnesses=(CsvLoader CsvImport Description PointFile LabelsAndSubspaces Hierarchy ColorMap)
fi
if ! command -v clang++ >/dev/null 2>&1; then
    apt-get update
    DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends clang
fi
bash scripts/install-deps.sh
cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
      -DTOLVEMARK_SANITIZE=ON -DTOLVEMARK_FUZZ=ON -DTOLVEMARK_BUILD_TESTS=ON
targets=()
for h in "${harnesses[@]}"; do targets+=("fuzz_$h"); done
cmake --build build-fuzz -j 3 --target "${targets[@]}"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:allocator_may_return_null=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
run() {
    local h=$1
    mkdir -p "build-fuzz/corpus/$h" "build-fuzz/findings/$h"
    build-fuzz/fuzz/fuzz_$h "build-fuzz/corpus/$h" "tests/fuzz/corpus/$h" \
        -max_total_time="$seconds" -rss_limit_mb=4096 -timeout=20 -print_final_stats=1 \
        -artifact_prefix="build-fuzz/findings/$h/" > "build-fuzz/findings/$h.log" 2>&1 || true
    echo "$h: $(grep -E 'stat::number_of_executed_units' "build-fuzz/findings/$h.log" | awk '{print $2}') executions," \
         "$(find "build-fuzz/findings/$h" -type f | wc -l) findings"
}
running=0
for h in "${harnesses[@]}"; do
    run "$h" &
    running=$((running + 1))
    if [ $running -ge 3 ]; then
        wait -n
        running=$((running - 1))
    fi
done
wait
