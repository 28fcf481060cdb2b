#!/usr/bin/env bash
# Builds everything and runs every test: the engine and platform tests under
# ThreadSanitizer and under AddressSanitizer with UBSan, then the whole suite in the normal
# build, whose CTest summary closes the run.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

for sanitizer in tsan asan; do
  echo "== $sanitizer: engine and platform tests"
  cmake --preset "$sanitizer" >/dev/null
  cmake --build --preset "$sanitizer" --target engine_tests platform_tests
  ctest --preset "$sanitizer" --output-on-failure -j2 >"build-$sanitizer/ctest.log" 2>&1 || {
    cat "build-$sanitizer/ctest.log"; exit 1; }
  tail -n 3 "build-$sanitizer/ctest.log"
done

echo "== all tests"
cmake --preset default >/dev/null
cmake --build --preset default
ctest --preset default -j2
