#!/usr/bin/env bash
# Installs what is missing, builds the component and the orvan command, registers the component and
# prints its type library.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)"
./build/tools/orvan regsvr
./build/tools/orvan typelib
