#!/usr/bin/env bash
# Installs what is missing, builds the programs, creates the demo game folder and starts Quorvel
# on it.
#   ./run.sh                 Quorvel (without a display: the command-line demo)
#   ./run.sh troubleshooter  Quorvel Troubleshooter
set -euo pipefail
cd "$(dirname "$0")"
./scripts/deps.sh
cmake -S . -B build -G Ninja >/dev/null
# Only what the demo starts: the three programs, their data files and the demo generator (the
# tests are built by ./test.sh).
cmake --build build -j "$(nproc)" --target quorvel quorvel-troubleshooter quorvel-cli qv_data \
    gen_demo_game
exec ./scripts/demo.sh "$@"
