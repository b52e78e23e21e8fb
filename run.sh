#!/usr/bin/env bash
# Installs what is missing, builds and starts Zentrav on its embedded SQLite register.
# Arguments go to the program (for example --db FILE).
set -euo pipefail
cd "$(dirname "$0")"
./scripts/setup
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build
exec build/bin/zentrav "$@"
