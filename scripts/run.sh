#!/bin/sh
# Installs what is needed, builds and starts the program on the embedded
# default database (created empty in the program folder on the first start).
set -e
cd "$(dirname "$0")/.."
sh scripts/install-deps.sh
sh scripts/build.sh
exec ./build/app/trapezon
