#!/usr/bin/env bash
# Builds the fuzz targets (clang, ASan+UBSan, libFuzzer) in build-fuzz and runs each for a
# short time with the Paradox fixtures as seed corpus, after replaying the saved
# regression inputs. Fails when a fuzzer reports a crash, a leak, an out-of-memory or a
# timeout. Skips (exit 0) without clang or without the fixtures.
#
#   FUZZ_SECONDS   seconds per target (default 60)
#   FUZZ_JOBS      targets run at the same time (default 2)
#   CHECKUP_SHARED folder holding fixtures/ (default ../shared beside the source tree)
set -euo pipefail
src="$(cd "$(dirname "$0")/../.." && pwd)"
cd "$src"
seconds="${FUZZ_SECONDS:-60}"
jobs="${FUZZ_JOBS:-2}"
shared="${CHECKUP_SHARED:-$src/../shared}"
fixtures="$shared/fixtures/paradox"

if ! command -v clang >/dev/null 2>&1 || ! command -v clang++ >/dev/null 2>&1; then
  echo "fuzz: clang not found, fuzzers skipped"
  exit 0
fi
if [ ! -d "$fixtures" ]; then
  echo "fuzz: fixtures not found at $fixtures, fuzzers skipped"
  exit 0
fi

build="$src/build-fuzz"
generator=()
if [ ! -f "$build/CMakeCache.txt" ] && command -v ninja >/dev/null 2>&1; then generator=(-G Ninja); fi
CC=clang CXX=clang++ cmake -S "$src" -B "$build" "${generator[@]}" -DCHECKUP_FUZZ=ON -DCHECKUP_WITH_UI=OFF \
  -DCHECKUP_TESTS=OFF -DCHECKUP_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo "-DCHECKUP_SHARED_DIR=$shared" >/dev/null
cmake --build "$build" -j2 --target fuzz_paradox_db fuzz_paradox_px fuzz_paradox_mb fuzz_paradox_dataset

bin="$build/tests/fuzz"
work="$(mktemp -d "${TMPDIR:-/tmp}/checkup-fuzz.XXXXXX")"
trap 'rm -rf "$work"' EXIT
artifacts="$build/fuzz-artifacts"
mkdir -p "$artifacts"
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:allocator_may_return_null=0}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"

# seed <target> <find -iname patterns…>: the fixture files as the target's corpus.
seed() {
  local target="$1"; shift
  local dir="$work/corpus-$target" expr=() f
  mkdir -p "$dir"
  for p in "$@"; do expr+=(-o -iname "$p"); done
  while IFS= read -r -d '' f; do
    cp "$f" "$dir/$(printf '%s' "$f" | cksum | cut -d' ' -f1)-$(basename "$f")"
  done < <(find "$fixtures" -type f \( "${expr[@]:1}" \) -print0)
}
seed fuzz_paradox_db '*.db'
seed fuzz_paradox_dataset '*.db'
seed fuzz_paradox_px '*.px'
seed fuzz_paradox_mb '*.mb'

failed=0

# Saved inputs that once broke the engine: each must now run clean.
for target in fuzz_paradox_db fuzz_paradox_px fuzz_paradox_mb fuzz_paradox_dataset; do
  dir="$src/tests/fuzz/regressions/$target"
  [ -d "$dir" ] || continue
  mapfile -t cases < <(find "$dir" -type f ! -name '*.md' | sort)
  [ "${#cases[@]}" -gt 0 ] || continue
  if "$bin/$target" -timeout=10 -rss_limit_mb=2048 "${cases[@]}" >"$work/$target-regressions.log" 2>&1; then
    echo "fuzz: $target: ${#cases[@]} regression input(s) pass"
  else
    echo "fuzz: $target FAILED on a regression input:"; tail -n 60 "$work/$target-regressions.log"
    failed=1
  fi
done

run() {
  local target="$1"
  mkdir -p "$artifacts/$target"
  "$bin/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$artifacts/$target/" "$work/corpus-$target" >"$work/$target.log" 2>&1
}

targets=(fuzz_paradox_db fuzz_paradox_px fuzz_paradox_mb fuzz_paradox_dataset)
pids=(); names=()
report() {
  local i
  for i in "${!pids[@]}"; do
    local t="${names[$i]}"
    if wait "${pids[$i]}"; then
      echo "fuzz: $t: $(grep -E 'stat::number_of_executed_units' "$work/$t.log" | awk '{print $2}') runs, no findings"
    else
      echo "fuzz: $t FOUND A PROBLEM (input saved under $artifacts/$t/):"
      grep -E -A40 'ERROR: |runtime error|==ERROR|Timeout|out-of-memory|deadly signal' "$work/$t.log" | head -n 80 || tail -n 60 "$work/$t.log"
      failed=1
    fi
  done
  pids=(); names=()
}
for t in "${targets[@]}"; do
  echo "fuzz: running $t for ${seconds}s"
  run "$t" & pids+=($!); names+=("$t")
  if [ "${#pids[@]}" -ge "$jobs" ]; then report; fi
done
report

if [ "$failed" -ne 0 ]; then
  echo "fuzz: FAILED"
  exit 1
fi
echo "fuzz: all targets ran clean"
