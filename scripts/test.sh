#!/usr/bin/env bash
# Checks the C++ sources' format, then builds everything and runs every test: the engine,
# platform, window and sound-server driver tests under ThreadSanitizer, the engine and
# platform tests under AddressSanitizer with UBSan, then the whole suite in the normal build
# (the desktop tests on a private X server among them), whose CTest summary closes the run.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

echo "== format"
git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run -Werror

# The window's tests too under ThreadSanitizer: they run the echo thread against the GUI
# thread through thousands of random user actions; and the sound server driver's, whose
# locks meet the client library's thread.
declare -A targets=([tsan]="engine_tests platform_tests panel_tests pulse_tests"
                    [asan]="engine_tests platform_tests")
for sanitizer in tsan asan; do
  echo "== $sanitizer: ${targets[$sanitizer]}"
  cmake --preset "$sanitizer" >/dev/null
  # shellcheck disable=SC2086
  cmake --build --preset "$sanitizer" --target ${targets[$sanitizer]}
  ctest --preset "$sanitizer" --output-on-failure -j2 >"build-$sanitizer/ctest.log" 2>&1 || {
    cat "build-$sanitizer/ctest.log"; exit 1; }
  tail -n 3 "build-$sanitizer/ctest.log"
done

echo "== all tests"
cmake --preset default >/dev/null
cmake --build --preset default
ctest --preset default -j2
