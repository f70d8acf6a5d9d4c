#!/usr/bin/env bash
# Builds the Linux module and runs the demo script in tclsh.
# Usage: scripts/demo.sh [--no-install]
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${1:-}" != "--no-install" ] && [ "$(id -u)" = 0 ]; then
  bash scripts/install-deps.sh
fi
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j2 >/dev/null
exec tclsh8.6 scripts/demo.tcl "$(pwd)/build"
