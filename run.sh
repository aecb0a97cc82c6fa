#!/usr/bin/env bash
# Installs what is missing, builds, creates the demo game folder and starts Quorvel on it.
#   ./run.sh                 Quorvel (without a display: the command-line demo)
#   ./run.sh troubleshooter  Quorvel Troubleshooter
set -euo pipefail
cd "$(dirname "$0")"
./scripts/deps.sh
cmake -S . -B build -G Ninja >/dev/null
cmake --build build -j "$(nproc)"
exec ./scripts/demo.sh "$@"
