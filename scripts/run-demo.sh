#!/usr/bin/env bash
# Installs what is missing, builds, creates a demo program folder when there is none and opens
# the search window on it.
set -euo pipefail
cd "$(dirname "$0")/.."

bash .ci/install-deps build
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DLODVIK_BUILD_TESTS=OFF -DLODVIK_BUILD_BENCH=OFF
cmake --build build -j"$(nproc)"

export LODVIKPRODSOK_HOME="${LODVIKPRODSOK_HOME:-$PWD/program}"
# "demo" leaves every file that is already there alone.
build/app/lodvikprodsok demo

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    echo "Det finns ingen skärm (DISPLAY är inte satt), så sökfönstret kan inte visas." >&2
    echo "Programmappen $LODVIKPRODSOK_HOME är klar. Använd kommandoraden, till exempel:" >&2
    echo "  LODVIKPRODSOK_HOME=$LODVIKPRODSOK_HOME build/app/lodvikprodsok search --namn A" >&2
    echo "eller starta fönstret i en virtuell skärm (paketet xvfb):" >&2
    echo "  LODVIKPRODSOK_HOME=$LODVIKPRODSOK_HOME xvfb-run -a build/app/lodvikprodsok" >&2
    exit 0
fi
exec build/app/lodvikprodsok
