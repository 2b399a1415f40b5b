#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in build-fuzz/ and fuzzes each one.
#
#   fuzz/run-fuzzers.sh [seconds per target] [target...]
#
# The working corpus lives in build-fuzz/corpus/<target>/ (seeded from the
# committed fuzz/corpus/, from inputs built in code and, for the archive
# targets, from ../shared/real-archives/ when present); findings are written
# to build-fuzz/findings/<target>/ and logs to build-fuzz/logs/. Copy a
# finding into fuzz/crashes/<target>/ to keep it as a regression test.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
seconds=${1:-600}
shift || true
build=$root/build-fuzz
targets=("$@")
flags="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"

CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DSGA_FUZZ=ON -DSGA_BUILD_GUI=OFF \
  -DSGA_BUILD_BENCH=OFF -DSGA_BUILD_TESTS=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_FLAGS="$flags" >/dev/null
((${#targets[@]})) || targets=(archive entrydata safepath tga psd pcx v2wide v4v5 v6v7 v8v10)
ninja -C "$build" -j2 fuzz_seeds "${targets[@]/#/fuzz_}"

"$build/fuzz/fuzz_seeds" "$build/seeds"
mkdir -p "$build/logs"
for t in "${targets[@]}"; do
  corpus=$build/corpus/$t
  mkdir -p "$corpus" "$build/findings/$t"
  from=$t
  [[ $t == entrydata ]] && from=archive
  cp -n "$build/seeds/$from"/* fuzz/corpus/"$t"/* "$corpus/" 2>/dev/null || true
  if [[ ($from == archive || $from == v*) && -d ../shared/real-archives ]]; then
    cp -n ../shared/real-archives/*.big ../shared/real-archives/*.sga "$corpus/" 2>/dev/null || true
  fi
done

# At most two fuzzers at a time on a shared machine, at low priority.
run() {
  local t=$1
  # Large archives (the real ones) are cut to 4 KB: the index is what the
  # mutations should reach, and short inputs run many times faster.
  nice -n 10 "$build/fuzz/fuzz_$t" "$build/corpus/$t" -max_total_time="$seconds" \
    -rss_limit_mb=2048 -timeout=10 -max_len=4096 -print_final_stats=1 \
    -artifact_prefix="$build/findings/$t/" >"$build/logs/$t.log" 2>&1 || true
  echo "$t: $(grep -E '^#[0-9]+.*(DONE|INITED)' "$build/logs/$t.log" | tail -1)"
}
pending=("${targets[@]}")
while ((${#pending[@]})); do
  run "${pending[0]}" &
  if ((${#pending[@]} > 1)); then run "${pending[1]}" & fi
  wait
  pending=("${pending[@]:2}")
done
