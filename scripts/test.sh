#!/bin/sh
# Installs what is needed, builds and runs every test.
set -e
cd "$(dirname "$0")/.."
sh scripts/install-deps.sh
sh scripts/build.sh
# The database server tests run against a private server of their own,
# stopped again however the tests end.
pg="$PWD/scripts/pg-server.sh"
pgdir=$(mktemp -d /tmp/trapezon-pg.XXXXXX)
trap 'sh "$pg" stop "$pgdir"' EXIT
TRAPEZON_TEST_PG=$(sh "$pg" start "$pgdir" "${TRAPEZON_TEST_PG_PORT:-54329}")
TRAPEZON_TEST_PG_PASSWORD=$(cat "$pgdir/password")
# Set here, a test that cannot reach the server fails instead of skipping.
TRAPEZON_REQUIRE_PG=1
export TRAPEZON_TEST_PG TRAPEZON_TEST_PG_PASSWORD TRAPEZON_REQUIRE_PG
cd build
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$(nproc)"
