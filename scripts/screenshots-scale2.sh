#!/usr/bin/env bash
# The windows on a 1280x960 screen at scale 2 (QT_SCALE_FACTOR=2), whole screen pictures under a
# virtual X server with a real window manager (Xvfb and openbox): the main window with a map's
# preview, Check Packages with a damaged package's, and the troubleshooter; in the desktop's
# font, and where qt6ct is installed in its "darker" scheme with a font 2 points larger.
#   scripts/screenshots-scale2.sh [BUILD [OUT]]   BUILD: the built programs (build),
#                                                 OUT: where the pictures go (docs)
# Pictures: main-preview, main-options (the purge warning), check-packages, troubleshooter-picker,
# troubleshooter, and each with -dark.
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build}")
out=$(realpath -m "${2:-docs}")
mkdir -p "$out"
for tool in Xvfb openbox import xdotool; do
    command -v "$tool" >/dev/null || { echo "needs $tool (scripts/screenshots.sh installs it)"; exit 1; }
done

work=$(mktemp -d)
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT

display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1280x960x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
export DISPLAY=$display
for _ in $(seq 50); do xdotool getmouselocation >/dev/null 2>&1 && break; sleep 0.1; done
openbox >/dev/null 2>&1 &
pids+=($!)
sleep 1

prog=$work/prog
mkdir -p "$prog"
for f in quorvel quorvel-troubleshooter quorvel-cli gen_demo_game Quorvel.ini QuorvelDontMove.ini \
    search.avi e.wav quorvel.png help; do
    [ -e "$build/$f" ] && cp -r "$build/$f" "$prog/"
done
export QUORVEL_REGISTRY=$work/registry.reg XDG_CACHE_HOME=$work/thumbs QT_SCALE_FACTOR=2
game=$work/UT
"$prog/gen_demo_game" "$game" >/dev/null
"$prog/quorvel-cli" set-game-dir "$game" >/dev/null

window() { # the id of the first window whose title matches $1
    for _ in $(seq 100); do
        id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1) && [ -n "$id" ] &&
            { echo "$id"; return; }
        sleep 0.1
    done
    echo "no window named '$1'" >&2
    return 1
}
press() { # window id, keys
    xdotool windowactivate --sync "$1" >/dev/null 2>&1 || true
    shift
    xdotool key --delay 80 "$@"
}
main_window() { # start-up messages answered; the main window's id
    for _ in $(seq 100); do
        id=$(xdotool search --onlyvisible --name '^Quorvel$' 2>/dev/null | head -1 || true)
        [ -n "$id" ] && press "$id" Return
        id=$(xdotool search --onlyvisible --name '^Quorvel v' 2>/dev/null | head -1 || true)
        [ -n "$id" ] && { echo "$id"; return; }
        sleep 0.2
    done
    echo "Quorvel's window did not come up" >&2
    return 1
}
shot() { # picture name: the whole screen
    import -window root "$out/$1.png"
    echo "$out/$1.png"
}

pictures() { # $1: suffix of the pictures ("" or "-dark")
    "$prog/quorvel" &
    pids+=($!)
    main=$(main_window)
    sleep 1.5
    # A click in the File List tab's list, then a name typed selects its row: its preview shows.
    xdotool mousemove --window "$main" 120 300 click 1
    sleep 0.3
    press "$main" Home
    xdotool type --delay 60 "CTF-Hydro"
    sleep 2
    shot "main-preview$1"
    press "$main" ctrl+Tab  # the Options tab, scrolled down to the purge warning
    sleep 0.5
    xdotool mousemove --window "$main" 640 500 click --repeat 10 --delay 50 5
    sleep 0.5
    shot "main-options$1"
    press "$main" ctrl+shift+Tab
    press "$main" alt+t
    sleep 0.3
    xdotool key c
    check=$(window '^Check Packages')
    sleep 0.5
    press "$check" End Up  # the damaged package
    sleep 1.5
    shot "check-packages$1"
    press "$check" Escape
    sleep 0.3
    press "$main" alt+F4
    sleep 1
    HOME=$work "$prog/quorvel-troubleshooter" &
    pids+=($!)
    picker=$(window 'Choose the UT Cache folder')
    sleep 1
    shot "troubleshooter-picker$1"
    xdotool windowactivate --sync "$picker" >/dev/null 2>&1 || true
    xdotool key ctrl+l
    xdotool type --delay 2 "$game/Cache"
    press "$picker" Return
    sleep 0.5
    if xdotool search --onlyvisible --name 'Choose the UT Cache folder' >/dev/null 2>&1; then
        press "$picker" Return
    fi
    trouble=$(window '^Quorvel Troubleshooter v')
    sleep 1
    shot "troubleshooter$1"
    press "$trouble" alt+x
    sleep 0.5
}

pictures ""
qt6ct_plugin=$(find /usr/lib -path '*qt6/plugins/platformthemes/libqt6ct.so' 2>/dev/null | head -1)
if [ -n "$qt6ct_plugin" ] && [ -e /usr/share/qt6ct/colors/darker.conf ]; then
    mkdir -p "$work/config/qt6ct"
    # qt6ct's larger font: 2 points above the usual 9 or 10.
    printf '[Appearance]\ncolor_scheme_path=/usr/share/qt6ct/colors/darker.conf\ncustom_palette=true\nstyle=Fusion\n[Fonts]\ngeneral="DejaVu Sans,12,-1,5,50,0,0,0,0,0"\nfixed="DejaVu Sans Mono,12,-1,5,50,0,0,0,0,0"\n' \
        >"$work/config/qt6ct/qt6ct.conf"
    export XDG_CONFIG_HOME=$work/config QT_QPA_PLATFORMTHEME=qt6ct
    pictures -dark
fi
