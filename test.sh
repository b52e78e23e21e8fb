#!/usr/bin/env bash
# Installs what is missing, builds, starts a throwaway PostgreSQL on loopback
# and runs every test through ctest. Extra arguments go to ctest.
set -euo pipefail
cd "$(dirname "$0")"
root=$(pwd)
./scripts/setup
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build

pgdir=$(mktemp -d /tmp/zentrav-pg.XXXXXX)
port=$(( 20000 + RANDOM % 20000 ))
cleanup() { "$root/scripts/pg-test-server" stop "$pgdir" || true; rm -rf "$pgdir"; }
trap cleanup EXIT
if ZENTRAV_TEST_PG=$("$root/scripts/pg-test-server" start "$pgdir" "$port"); then
  export ZENTRAV_TEST_PG
  echo "PostgreSQL test server: $ZENTRAV_TEST_PG"
else
  echo "PostgreSQL test server did not start; the PostgreSQL halves of the suites are skipped" >&2
  cat "$pgdir"/*.log >&2 || true
fi
export QT_QPA_PLATFORM=offscreen
(cd build && ctest --output-on-failure -j"$(nproc)" "$@")

# A short run of every fuzz target (clang, AddressSanitizer and
# UndefinedBehaviorSanitizer) over its seed corpus; a crash fails test.sh.
# ZENTRAV_FUZZ_SECONDS sets the time per target (0 leaves the step out).
fuzz_seconds=${ZENTRAV_FUZZ_SECONDS:-20}
if [ "$fuzz_seconds" -gt 0 ]; then
  "$root/scripts/fuzz-run" "$fuzz_seconds"
fi
