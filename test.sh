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
cd build
ctest --output-on-failure -j"$(nproc)" "$@"
