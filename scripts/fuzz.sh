#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for SECONDS (default 20) from the seed
# corpus in fuzz/corpus. Skips (exit 0) when clang or its fuzzer runtime is not installed.
#   scripts/fuzz.sh            a short run, as CI does
#   scripts/fuzz.sh 3600       an hour per target
# New interesting inputs collect in build/fuzz/corpus-*; a crash leaves build/fuzz/crash-* and
# ends the script with failure.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-20}"
out=build/fuzz
mkdir -p "$out"
rm -f "$out"/crash-*

cxx="${CLANGXX:-clang++}"
flags=(-std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined -I.)
if ! command -v "$cxx" >/dev/null 2>&1 ||
   ! echo 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long) { return 0; }' |
     "$cxx" "${flags[@]}" -x c++ - -o "$out/probe" >/dev/null 2>&1; then
  echo "fuzz: clang with libFuzzer is not available here; skipped"
  exit 0
fi

common=(platform/NumberFormat.cpp)
declare -A sources=(
  [observed]="fuzz/ObservedCurveFuzz.cpp fitting/ObservedCurve.cpp platform/TextFile.cpp platform/Interrupt.cpp"
  [star]="fuzz/StarParametersFuzz.cpp fitting/StarParameters.cpp"
  [number]="fuzz/NumberFuzz.cpp"
  [observations]="fuzz/ObservationsFuzz.cpp fitting/Observations.cpp"
  [fits]="fuzz/FitsFuzz.cpp fitting/FitsObservations.cpp fitting/Observations.cpp"
)
declare -A libraries=([fits]="-lcfitsio")
targets=(observed star number observations fits)
for target in "${targets[@]}"; do
  # shellcheck disable=SC2086
  "$cxx" "${flags[@]}" ${sources[$target]} "${common[@]}" -o "$out/fuzz-$target" ${libraries[$target]:-}
done
for target in "${targets[@]}"; do
  mkdir -p "$out/corpus-$target"
  echo "fuzz: $target for ${seconds}s"
  ASAN_OPTIONS=detect_leaks=1 "$out/fuzz-$target" -max_total_time="$seconds" -max_len=65536 -timeout=10 \
    -artifact_prefix="$out/crash-$target-" -print_final_stats=1 \
    "$out/corpus-$target" "fuzz/corpus/$target" 2>&1 | grep -E "^(stat::number_of_executed_units|==|SUMMARY|#[0-9]+ +DONE)" || true
  if ls "$out"/crash-"$target"-* >/dev/null 2>&1; then
    echo "fuzz: $target found a failing input: $(ls "$out"/crash-"$target"-*)"
    exit 1
  fi
done
echo "fuzz: no failures"
