#!/usr/bin/env bash
# Takes the documentation's pictures of both programs under a virtual X server with a real
# window manager (Xvfb and openbox), so they show window frames, the desktop's fonts and the
# look a user gets.
#   scripts/screenshots.sh [BUILD [OUT]]   BUILD: folder with the built programs (build),
#                                          OUT: where the pictures go (docs)
# Pictures: main-start (a start-up message beside the busy window), main-file-list (with the
# Installed and Package columns), check-packages (Tools > Check Packages...),
# main-options, main-never-move, main-run (a run of 20,000 packages under way), main-status
# (after it), main-undo-question and main-undo-done (Tools > Undo Last Run... of that run),
# main-close-question and main-run-stopped (a run closed while it goes, then stopped), about,
# main-game-running (the status bar while the game runs), main-game-running-question (Run while
# the game runs), troubleshooter, troubleshooter-saved; where qt6ct is installed,
# main-options-dark, check-packages-dark,
# main-close-question-dark, main-run-stopped-dark, about-dark and troubleshooter-dark in its
# "darker" scheme.
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build}")
out=$(realpath -m "${2:-docs}")
mkdir -p "$out"

need=()
for tool in Xvfb:xvfb openbox:openbox import:imagemagick xdotool:xdotool; do
    command -v "${tool%%:*}" >/dev/null || need+=("${tool#*:}")
done
if [ ${#need[@]} -gt 0 ]; then
    echo "Installing: ${need[*]}"
    SUDO=()
    [ "$(id -u)" -eq 0 ] || SUDO=(sudo)
    "${SUDO[@]}" apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi

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

# The programs with their data files, in a folder of their own: the run log goes there.
prog=$work/prog
mkdir -p "$prog"
for f in quorvel quorvel-troubleshooter quorvel-cli gen_demo_game gen_bulk_cache Quorvel.ini \
    QuorvelDontMove.ini search.avi e.wav quorvel.png help; do
    [ -e "$build/$f" ] && cp -r "$build/$f" "$prog/"
done
export QUORVEL_REGISTRY=$work/registry.reg
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
press() { # window id, keys: typed into that window as a user would
    xdotool windowactivate --sync "$1" >/dev/null 2>&1 || true
    shift
    xdotool key --delay 80 "$@"
}
# Start-up messages (the demo's index has map names without an extension) are answered.
main_window() {
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
shot() { # window id, picture name
    import -frame -window "$1" "$out/$2.png"
    echo "$out/$2.png"
}

click_stop() { # window id: clicks Stop, at the status bar's right end, until it has shown
    eval "$(xdotool getwindowgeometry --shell "$1")"
    xdotool mousemove --window "$1" $((WIDTH - 50)) $((HEIGHT - 14))
    for _ in $(seq 30); do
        xdotool click 1
        sleep 0.1
    done
}
start_run() { # File > Run; returns once the run has started its log
    rm -f "$prog/Quorvel.log"
    press "$main" alt+f
    sleep 0.5
    xdotool key r
    for _ in $(seq 100); do
        [ -e "$prog/Quorvel.log" ] && break
        sleep 0.05
    done
}
# A run stopped at once, and the report's end after it; then a run closed while it goes: the
# question, answered No.
stopped_run() { # $1: suffix of the pictures ("" or "-dark")
    start_run
    click_stop "$main"
    for _ in $(seq 240); do
        grep -qa "The run was stopped" "$prog/Quorvel.log" 2>/dev/null && break
        sleep 0.5
    done
    sleep 3
    shot "$main" "main-run-stopped$1"
    start_run
    press "$main" ctrl+q
    question=$(window '^Quorvel$')
    sleep 0.3
    shot "$question" "main-close-question$1"
    press "$question" alt+n
    sleep 3
}

# Quorvel on the demo folder: the first start-up message over the busy window (the whole
# screen), then the File List, Options and Never Move tabs.
"$prog/quorvel" &
pids+=($!)
window '^Quorvel$' >/dev/null || true
sleep 0.5
import -window root "$out/main-start.png"
echo "$out/main-start.png"
main=$(main_window)
sleep 1.5
shot "$main" main-file-list
# Tools > Check Packages...: what the demo's packages need that nothing holds.
press "$main" alt+t
sleep 0.3
xdotool key c
check=$(window '^Check Packages')
sleep 0.5
press "$check" Right  # the first missing package opened: the packages that need it
sleep 0.3
shot "$check" check-packages
press "$check" Escape
sleep 0.3
press "$main" ctrl+Tab
sleep 0.5
shot "$main" main-options
press "$main" ctrl+Tab
sleep 0.5
shot "$main" main-never-move
press "$main" alt+F4
sleep 1

# A large cache: 20,000 more packages, run from the File menu, pictured while it goes and
# after it.
bulk_cache() { # $1: the GUIDs' first letter, $2: the names' start: 20,000 real packages
    "$prog/gen_bulk_cache" "$game/Cache" 20000 "$1" "$2"
}
rm -f "$game/Cache/cachebak.ini"  # the demo's own backup: the run's new one marks its end
bulk_cache A Bulk
start_main() { # starts Quorvel; its window's id goes to $work/id
    "$prog/quorvel" &
    pids+=($!)
    main_window >"$work/id"
}
start_main
main=$(cat "$work/id")
sleep 2
press "$main" alt+f
sleep 0.3
xdotool key r
sleep "${QV_SHOT_DELAY:-0.3}"
shot "$main" main-run
# The run has ended once the old index is kept as cachebak.ini; then the list is rebuilt.
for _ in $(seq 240); do
    [ -e "$game/Cache/cachebak.ini" ] && break
    sleep 0.5
done
sleep 3
shot "$main" main-status
# Tools > Undo Last Run...: the question (No is the default), then the cache put back.
press "$main" alt+t
sleep 0.3
xdotool key u
question=$(window '^Quorvel$')
sleep 0.5
shot "$question" main-undo-question
press "$question" alt+y
for _ in $(seq 240); do
    grep -qa "is undone\|not completely undone" "$prog/Quorvel.log" 2>/dev/null && break
    sleep 0.5
done
sleep 3
shot "$main" main-undo-done
stopped_run ""
press "$main" alt+h
sleep 0.3
xdotool key a
about=$(window '^About Quorvel')
sleep 0.5
shot "$about" about
press "$about" Escape
press "$main" alt+F4
sleep 1

# Run while the game runs (/bin/sleep under the game's name, working in its System folder): the
# question names it, No the default; answered No.
cp /bin/sleep "$game/System/ut-bin-amd64"
(cd "$game/System" && exec ./ut-bin-amd64 600) &
game_pid=$!
pids+=("$game_pid")
start_main
main=$(cat "$work/id")
sleep 1.5
shot "$main" main-game-running
press "$main" alt+f
sleep 0.3
xdotool key r
question=$(window '^Quorvel$')
sleep 0.5
shot "$question" main-game-running-question
press "$question" Return
sleep 0.5
press "$main" alt+F4
sleep 1
kill "$game_pid"
rm -f "$game/System/ut-bin-amd64"

# Quorvel Troubleshooter: the cache folder is typed into the picker.
troubleshooter_window() {
    HOME=$work "$prog/quorvel-troubleshooter" &
    pids+=($!)
    picker=$(window 'Choose the UT Cache folder')
    sleep 0.5
    xdotool windowactivate --sync "$picker" >/dev/null 2>&1 || true
    xdotool type --delay 2 "$game/Cache"
    press "$picker" Return
    sleep 0.5
    if xdotool search --onlyvisible --name 'Choose the UT Cache folder' >/dev/null 2>&1; then
        press "$picker" Return
    fi
    window '^Quorvel Troubleshooter v'
}
troubleshooter_window >"$work/id"
trouble=$(cat "$work/id")
xdotool windowactivate --sync "$trouble" 2>/dev/null || true
sleep 1
shot "$trouble" troubleshooter
press "$trouble" space
sleep 1
shot "$trouble" troubleshooter-saved
press "$trouble" alt+x
sleep 0.5

# The same windows in a dark colour scheme, as a user of qt6ct gets them.
qt6ct_plugin=$(find /usr/lib -path '*qt6/plugins/platformthemes/libqt6ct.so' 2>/dev/null | head -1)
if [ -n "$qt6ct_plugin" ] && [ -e /usr/share/qt6ct/colors/darker.conf ]; then
    mkdir -p "$work/config/qt6ct"
    printf '[Appearance]\ncolor_scheme_path=/usr/share/qt6ct/colors/darker.conf\ncustom_palette=true\nstyle=Fusion\n' \
        >"$work/config/qt6ct/qt6ct.conf"
    export XDG_CONFIG_HOME=$work/config QT_QPA_PLATFORMTHEME=qt6ct
    bulk_cache B Dark  # work for the stopped run
    start_main
    main=$(cat "$work/id")
    sleep 1.5
    press "$main" ctrl+Tab
    sleep 0.5
    shot "$main" main-options-dark
    press "$main" alt+t
    sleep 0.3
    xdotool key c
    check=$(window '^Check Packages')
    sleep 0.5
    press "$check" Right
    sleep 0.3
    shot "$check" check-packages-dark
    press "$check" Escape
    sleep 0.3
    stopped_run -dark
    press "$main" alt+h
    sleep 0.3
    xdotool key a
    about=$(window '^About Quorvel')
    sleep 0.5
    shot "$about" about-dark
    press "$about" Escape
    press "$main" alt+F4
    sleep 1
    troubleshooter_window >"$work/id"
    trouble=$(cat "$work/id")
    sleep 1
    shot "$trouble" troubleshooter-dark
    press "$trouble" alt+x
    sleep 0.5
fi
