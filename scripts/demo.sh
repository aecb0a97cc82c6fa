#!/usr/bin/env bash
# Creates a fresh demo game folder in ./demo and starts Quorvel on it.
#   scripts/demo.sh                 Quorvel with a display, else the command-line demo
#   scripts/demo.sh troubleshooter  Quorvel Troubleshooter
# The demo has its own registry file, so the user's real settings are never touched.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${QUORVEL_BUILD_DIR:-build}  # another build folder for testing
what=${1:-quorvel}
case "$what" in
    quorvel | troubleshooter) ;;
    *)
        echo "Usage: $0 [troubleshooter]" >&2
        exit 2
        ;;
esac

for program in gen_demo_game quorvel-cli; do
    if [ ! -x "$build/$program" ]; then
        echo "$build/$program is not built; run ./run.sh or: cmake --build $build" >&2
        exit 1
    fi
done

rm -rf demo
mkdir -p demo
"$build/gen_demo_game" demo/game
export QUORVEL_REGISTRY="$PWD/demo/registry.reg"
"$build/quorvel-cli" set-game-dir demo/game

has_display() { [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; }

if [ "$what" = troubleshooter ]; then
    if [ -x "$build/quorvel-troubleshooter" ] && has_display; then
        # A run first, so that the report has a run log to show.
        "$build/quorvel-cli" run >/dev/null || true
        echo "Quorvel Troubleshooter asks for the game's cache folder: pick"
        echo "  $PWD/demo/game/Cache"
        echo "(the folder picker opens there)."
        exec "$build/quorvel-troubleshooter"
    fi
    if has_display; then
        echo "Quorvel Troubleshooter is not built yet; showing the command-line demo instead."
    else
        echo "No display (\$DISPLAY and \$WAYLAND_DISPLAY are unset); Quorvel Troubleshooter"
        echo "needs one. Showing the command-line demo instead."
    fi
elif [ -x "$build/quorvel" ] && has_display; then
    exec "$build/quorvel"
elif has_display; then
    echo "Quorvel is not built yet; showing the command-line demo instead."
else
    echo "No display (\$DISPLAY and \$WAYLAND_DISPLAY are unset): the command-line demo."
fi

cli="$build/quorvel-cli"
heading() { printf '\n== %s ==\n' "$1"; }

heading "The cache before the run: quorvel-cli list"
echo "(selected, name, date, never move)"
"$cli" list || echo "(quorvel-cli list failed with status $?)"

heading "Moving the selected packages: quorvel-cli run"
if "$cli" run; then
    run_status=0
else
    run_status=$?
fi
# The demo cache holds on purpose a package listed twice, one of an unknown type, a damaged one
# and one whose other version is installed: the list leaves those unchecked, saying why, and the
# run moves every checked package (and drops the line whose file is missing).
case "$run_status" in
    0) echo "(exit status 0: every checked package was moved; the rows left unchecked say why)" ;;
    3) echo "(exit status 3, done in part: some checked packages stayed; see the lines above)" ;;
    *) echo "(exit status $run_status: the run did not work; see the messages above)" ;;
esac

heading "The cache after the run: quorvel-cli list"
"$cli" list || echo "(quorvel-cli list failed with status $?)"

heading "Where the packages went"
for folder in Maps Textures Sounds Music System; do
    printf '%-9s %s\n' "$folder:" "$(cd demo/game/$folder && ls | tr '\n' ' ')"
done
echo "The old index is demo/game/Cache/cachebak.ini, the run log $build/Quorvel.log."
echo "Try also: QUORVEL_REGISTRY=$QUORVEL_REGISTRY $cli --help"
# The demo worked when its run did all or the part it was meant to.
if [ "$run_status" -eq 0 ] || [ "$run_status" -eq 3 ]; then exit 0; fi
exit "$run_status"
