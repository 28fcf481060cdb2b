#!/usr/bin/env bash
# The daily loop: builds the default tree and runs the fast tests only (the engine,
# platform, toolkit, tray icon and window tests; no sound server, no X server, no
# sanitizers). Expects scripts/setup.sh to have run once.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset default >/dev/null
cmake --build --preset default
ctest --preset default -L fast -j2
