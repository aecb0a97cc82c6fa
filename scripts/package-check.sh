#!/usr/bin/env bash
# Builds the two Debian packages (quorvel-cli, quorvel) and tries them on a clean Debian 12:
# bootstraps a fresh root; installs quorvel-cli alone with apt and checks that no Qt library came
# with it; as a normal user runs quorvel-cli on a demo game folder and checks its shell
# completion; counts with apt-get -s what quorvel adds to the Qt Widgets stack (at most 15
# packages); installs quorvel, opens both windows under Xvfb and photographs them; runs root's
# own route and checks that /usr is untouched; then purges both packages and checks that
# nothing of them is left. Prints what it saw; exits non-zero on any failure.
#   scripts/package-check.sh [output folder]        (default: build-deb/package-check)
# Needs root (debootstrap, chroot, mounts) and Debian's mirror; the first run downloads a base
# system into $QV_PACKAGE_CHECK_CACHE (default /var/cache/quorvel-package-check), later runs
# bootstrap from that copy. Not part of ./test.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
src=$PWD
out=$(realpath -m "${1:-build-deb/package-check}")
cache=${QV_PACKAGE_CHECK_CACHE:-/var/cache/quorvel-package-check}
suite=bookworm
root=$out/root
user=player
home=/home/$user

step() { printf '\n== %s ==\n' "$*"; }
fail() {
    echo "FAILED: $*" >&2
    exit 1
}
[ "$(id -u)" -eq 0 ] || fail "run as root: debootstrap, chroot and mount need it"

# The mirror apt uses here, so the check needs no other host.
mirror=$(grep -rhoE '^(URIs:|deb)[[:space:]]+[^[:space:]]+' /etc/apt/sources.list \
    /etc/apt/sources.list.d/ 2>/dev/null | awk '{print $2}' | grep -E '/debian/?$' | head -n1 || true)
mirror=${mirror:-http://deb.debian.org/debian}

step "Tools"
./scripts/deps.sh
tools=(debootstrap lintian appstream dpkg-dev xvfb x11-apps x11-utils xdotool imagemagick
    librsvg2-bin man-db)
# What quorvel may add to the Qt Widgets stack, in packages.
gui_extra_limit=15
missing=()
for p in "${tools[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

step "Building the packages"
export CXXFLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
export LDFLAGS="$(dpkg-buildflags --get LDFLAGS)"
cmake -S . -B build-deb -G Ninja -DCMAKE_BUILD_TYPE=Release -DQV_BUILD_TESTS=OFF >/dev/null
cmake --build build-deb -j "$(nproc)" | tail -n1
rm -f build-deb/quorvel*_*.deb
(cd build-deb && cpack -G DEB >/dev/null)
cli_deb=$(realpath build-deb/quorvel-cli_*_amd64.deb)
gui_deb=$(realpath build-deb/quorvel_*_amd64.deb)
for deb in "$cli_deb" "$gui_deb"; do
    echo "$deb"
    dpkg-deb --field "$deb" Package Version Architecture Installed-Size Depends | sed 's/^/  /'
done
dpkg-deb --field "$cli_deb" Depends | grep -qiE 'qt|libx|libgl' &&
    fail "quorvel-cli depends on graphical libraries: $(dpkg-deb --field "$cli_deb" Depends)"

step "lintian"
for deb in "$cli_deb" "$gui_deb"; do
    lintian --fail-on error,warning --info "$deb" || fail "lintian reports errors or warnings for $deb"
done
echo "lintian: no errors, no warnings"

step "AppStream and manual pages"
meta=$(mktemp -d)
dpkg-deb -x "$gui_deb" "$meta"
dpkg-deb -x "$cli_deb" "$meta"
appstreamcli validate "$meta"/usr/share/metainfo/*.metainfo.xml || fail "appstreamcli validate"
for page in "$meta"/usr/share/man/man1/*.1.gz; do
    warnings=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "$(basename "$page") renders with warnings: $warnings"
    echo "$(basename "$page"): renders without warnings"
done
rm -rf "$meta"

step "A clean Debian 12 root"
mkdir -p "$cache/archives/partial"
base=$cache/$suite-minbase.tgz
if [ ! -s "$base" ]; then
    echo "Downloading the base system once into $base"
    debootstrap --variant=minbase --make-tarball="$base" "$suite" "$out/download" "$mirror" \
        >"$out.debootstrap.log" 2>&1 || fail "debootstrap --make-tarball, see $out.debootstrap.log"
    rm -rf "$out/download"
fi
mounted=()
# The programs this check started inside the root.
started_in_root() {
    for p in /proc/[0-9]*; do
        [ "$(readlink "$p/root" 2>/dev/null)" = "$root" ] && echo "${p#/proc/}"
    done
    return 0
}
cleanup() {
    for pid in $(started_in_root); do kill "$pid" 2>/dev/null || true; done
    if [ -n "${xvfb_pid:-}" ]; then kill "$xvfb_pid" 2>/dev/null || true; fi
    xvfb_pid=
    for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do umount -l "${mounted[i]}" 2>/dev/null || true; done
}
trap cleanup EXIT
rm -rf "$root"
mkdir -p "$out"
debootstrap --variant=minbase --unpack-tarball="$base" "$suite" "$root" "$mirror" \
    >"$out/debootstrap.log" 2>&1 || fail "debootstrap, see $out/debootstrap.log"
echo "$root ($(cat "$root/etc/debian_version"))"
cp /etc/resolv.conf "$root/etc/resolv.conf"
mkdir -p "$root/tmp/.X11-unix"
bind() {
    mount --bind "$1" "$2"
    mounted+=("$2")
}
mount -t proc proc "$root/proc" && mounted+=("$root/proc")
bind /dev "$root/dev"
bind "$cache/archives" "$root/var/cache/apt/archives"
in_root() { chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin DEBIAN_FRONTEND=noninteractive "$@"; }
# A subshell that becomes the program, so $! of "as_user ... &" is the program itself.
as_user() (
    exec chroot --userspec="$user:$user" "$root" env -i PATH=/usr/bin:/bin HOME="$home" USER="$user" \
        LANG=C.UTF-8 DISPLAY="${display:-}" sh -c 'cd "$HOME" && exec "$@"' sh "$@"
)
packages() { in_root dpkg-query -W -f='${Package}\n' | sort; }

# The packages apt would install for `apt-get install ARGS`, one per line, sorted.
would_install() { in_root apt-get -s install "$@" 2>/dev/null | awk '/^Inst /{print $2}' | sort; }
# Every file below /usr with its size, mode and time, to see that nothing there changed.
usr_state() { (cd "$root" && find usr -xdev -printf '%p %s %m %T@\n' | sort); }

step "apt install ./$(basename "$cli_deb"), alone"
in_root apt-get update -qq
packages >"$out/packages-before"
cp "$cli_deb" "$gui_deb" "$root/tmp/"
in_root apt-get install -y -qq "/tmp/$(basename "$cli_deb")" >"$out/apt-install-cli.log" 2>&1 ||
    fail "apt install quorvel-cli, see $out/apt-install-cli.log"
packages >"$out/packages-with-cli"
added=$(comm -13 "$out/packages-before" "$out/packages-with-cli")
echo "quorvel-cli installed $(echo "$added" | wc -l) package(s): $(echo $added)"
qt=$(echo "$added" | grep -iE 'qt|libx11|libgl|libxcb' || true)
[ -z "$qt" ] || fail "a Qt or X library came with quorvel-cli: $qt"
echo "No Qt library came with it."
in_root dpkg -L quorvel-cli | sort >"$out/package-files-cli"
grep -E '^/usr/(bin|lib/quorvel/[^/]+$|share/(man|bash-completion|zsh|fish))' "$out/package-files-cli" |
    sed 's/^/  /'

step "quorvel-cli as $user, a normal user"
in_root useradd --create-home --shell /bin/sh "$user"
build-deb/gen_demo_game "$root$home/game" >/dev/null
in_root chown -R "$user:$user" "$home/game"
as_user quorvel-cli set-game-dir "$home/game" || fail "quorvel-cli set-game-dir"
# The demo game holds a package whose destination is taken and one whose cache file is gone, so
# a run there is done in part (exit status 3).
demo_run() {
    local status=0
    as_user quorvel-cli run "$@" >"$out/cli-run${1:-}.txt" 2>"$out/cli-run${1:-}.err" || status=$?
    [ $status -eq 0 ] || [ $status -eq 3 ] || fail "quorvel-cli run $* ended with $status, see $out/cli-run${1:-}.txt"
    echo "quorvel-cli run $*: exit status $status"
}
demo_run --dry-run
mv "$out/cli-run--dry-run.txt" "$out/cli-dry-run.txt"
echo "run --dry-run ($(grep -c '^would move' "$out/cli-dry-run.txt") moves), beginning and end:"
head -n 3 "$out/cli-dry-run.txt" | sed 's/^/  /'
tail -n 1 "$out/cli-dry-run.txt" | sed 's/^/  /'
[ ! -e "$root$home/.local/share/Quorvel/Quorvel.log" ] || fail "the dry run wrote a run log"
demo_run
sed 's/^/  /' "$out/cli-run.txt" | tail -n 12
log=$home/.local/share/Quorvel/Quorvel.log
[ -s "$root$log" ] || fail "no run log at $log"
echo "The run log: $log ($(wc -l <"$root$log") lines), beginning:"
head -n 3 "$root$log" | sed 's/^/  /'
echo "Files under $home:"
(cd "$root$home" && find . -path ./game -prune -o -type f -print | sed 's/^/  /')
extra=$(cd "$root" && find usr/lib/quorvel -mindepth 1 | sed 's|^|/|' | sort | comm -23 - "$out/package-files-cli")
[ -z "$extra" ] || fail "files written beside the installed programs: $extra"
echo "Nothing was written in /usr/lib/quorvel."

step "Shell completion"
in_root apt-get install -y -qq bash-completion >"$out/apt-install-bash-completion.log" 2>&1 ||
    fail "apt install bash-completion, see $out/apt-install-bash-completion.log"
# What an interactive bash offers for "quorvel-cli r<Tab>": the completion bash-completion loads
# on demand from where the package put it, called as a Tab would call it.
offered=$(as_user bash -ic '__load_completion quorvel-cli || exit 1
    f=$(complete -p quorvel-cli | sed -E "s/.*-F ([^ ]+).*/\1/")
    COMP_WORDS=(quorvel-cli r) COMP_CWORD=1 COMP_LINE="quorvel-cli r" COMP_POINT=13
    "$f" quorvel-cli r quorvel-cli
    echo "${COMPREPLY[*]}"' 2>/dev/null | tail -n1)
echo "bash -ic: quorvel-cli r<Tab> gives: $offered"
[ "$offered" = "run" ] || fail "bash completion of 'quorvel-cli r' gave '$offered', not 'run'"
for f in /usr/share/zsh/vendor-completions/_quorvel-cli /usr/share/fish/vendor_completions.d/quorvel-cli.fish; do
    [ -s "$root$f" ] || fail "$f is missing"
    echo "$f"
done

step "What quorvel adds to the Qt Widgets stack (apt-get -s)"
# Measured as apt installs by default (with Recommends) and without Recommends.
for recommends in with without; do
    opts=()
    [ $recommends = with ] || opts=(--no-install-recommends)
    would_install "${opts[@]}" libqt6widgets6 qt6-qpa-plugins >"$out/widgets-stack-$recommends"
    would_install "${opts[@]}" "/tmp/$(basename "$gui_deb")" >"$out/gui-needs-$recommends"
    beyond=$(comm -23 "$out/gui-needs-$recommends" "$out/widgets-stack-$recommends" | grep -vx quorvel || true)
    count_beyond=$(echo -n "$beyond" | grep -c . || true)
    echo "$recommends Recommends: Qt Widgets stack alone $(wc -l <"$out/widgets-stack-$recommends")" \
        "packages; quorvel with what it needs $(wc -l <"$out/gui-needs-$recommends");" \
        "beyond the stack $count_beyond: $(echo $beyond)"
    [ "$count_beyond" -le "$gui_extra_limit" ] ||
        fail "quorvel adds $count_beyond packages to the Widgets stack (at most $gui_extra_limit)"
done

step "apt install ./$(basename "$gui_deb")"
in_root apt-get install -y -qq "/tmp/$(basename "$gui_deb")" >"$out/apt-install.log" 2>&1 ||
    fail "apt install quorvel, see $out/apt-install.log"
packages >"$out/packages-with-quorvel"
added=$(comm -13 "$out/packages-with-cli" "$out/packages-with-quorvel")
echo "$added" >"$out/packages-added"
echo "$(echo "$added" | wc -l) packages installed (list: $out/packages-added); of Qt:" \
    $(echo "$added" | grep -E '^(libqt6|qt6)')
dev=$(echo "$added" | grep -E -- '-dev$' || true)
[ -z "$dev" ] || fail "development packages were pulled in: $dev"
multimedia=$(echo "$added" |
    grep -E '^(libqt6multimedia|ffmpeg|libav(codec|format|util|device|filter)|libsw(scale|resample)|libgstreamer|gstreamer|libx26[45])' ||
    true)
[ -z "$multimedia" ] || fail "media frameworks were pulled in: $multimedia"
in_root dpkg -L quorvel | sort >"$out/package-files-gui"
sort -m "$out/package-files-cli" "$out/package-files-gui" >"$out/package-files"
grep -E '^/usr/(bin|lib/quorvel/[^/]+$|share/(applications|metainfo|man))' "$out/package-files-gui" |
    sed 's/^/  /'
usr_state >"$out/usr-before-root"

step "Both windows under Xvfb"
display=:$((90 + RANDOM % 100))
export DISPLAY=$display  # for xdotool, xwininfo and xwd here; as_user passes it into the root
Xvfb "$display" -screen 0 1280x900x24 -nolisten tcp >"$out/xvfb.log" 2>&1 &
xvfb_pid=$!
bind /tmp/.X11-unix "$root/tmp/.X11-unix"
for _ in $(seq 50); do xdpyinfo -display "$display" >/dev/null 2>&1 && break; sleep 0.2; done
window_of() { xwininfo -display "$display" -root -tree | grep -F "\"$1" | head -n1 || true; }
wait_for() {  # title start, seconds
    for _ in $(seq $(($2 * 5))); do
        [ -n "$(window_of "$1")" ] && return 0
        sleep 0.2
    done
    return 1
}
shot() {
    xwd -display "$display" -root -silent >"$out/$1.xwd"
    convert "xwd:$out/$1.xwd" "$out/$1.png" && rm -f "$out/$1.xwd"
    echo "Screenshot: $out/$1.png"
}
seen() { echo "Window: $(window_of "$1" | sed -E 's/^ *(0x[0-9a-f]+) ("[^"]*").*/\2/')"; }

# Ends the programs this check started in the root and waits until they are gone.
stop_programs() {
    for pid in $(started_in_root); do kill "$pid" 2>/dev/null || true; done
    for _ in $(seq 50); do [ -z "$(started_in_root)" ] && return 0; sleep 0.2; done
    fail "programs in the root did not end: $(started_in_root)"
}

as_user quorvel >"$out/quorvel.txt" 2>&1 &
wait_for "Quorvel v" 30 || fail "Quorvel's window did not open, see $out/quorvel.txt"
sleep 2
seen "Quorvel v"
shot quorvel
stop_programs

as_user quorvel-troubleshooter >"$out/troubleshooter.txt" 2>&1 &
# It asks for the cache folder before its window shows.
wait_for "Choose the UT Cache folder" 30 || fail "the troubleshooter's folder picker did not open"
picker=$(window_of "Choose the UT Cache folder" | awk '{print $1}')
xdotool mousemove --window "$picker" 200 200
sleep 1
xdotool type --delay 20 "$home/game/Cache"
xdotool key Return
sleep 1
[ -z "$(window_of "Choose the UT Cache folder")" ] || xdotool key Return
wait_for "Quorvel Troubleshooter v" 30 || fail "the troubleshooter's window did not open"
sleep 2
seen "Quorvel Troubleshooter v"
shot troubleshooter
# A click on Save (120, 6600 twips: 8, 440 pixels, 145 by 25) writes the report, which copies
# the run log.
window=$(window_of "Quorvel Troubleshooter v" | awk '{print $1}')
xdotool mousemove --window "$window" 80 452 click 1
for _ in $(seq 25); do [ -s "$root$home/CacheInfo.txt" ] && break; sleep 0.2; done
stop_programs
report=$root$home/CacheInfo.txt
[ -s "$report" ] || fail "the troubleshooter wrote no report"
grep -F "<Quorvel.LOG from $home/.local/share/Quorvel>" "$report" ||
    fail "the report has no log from $home/.local/share/Quorvel"
grep -qF "as the CACHE directory }}" "$report" || fail "the report lacks the run log's lines"
echo "The report $home/CacheInfo.txt holds the run log."

step "Root's route"
# Root can write /usr/lib/quorvel; the installed copy must still keep root's files in root's own
# folders, and change nothing below /usr.
build-deb/gen_demo_game "$root/root/game2" >/dev/null
in_root env HOME=/root quorvel-cli set-game-dir /root/game2 >"$out/root-route.txt" 2>&1 ||
    fail "root's quorvel-cli set-game-dir, see $out/root-route.txt"
status=0
in_root env HOME=/root quorvel-cli run >>"$out/root-route.txt" 2>&1 || status=$?
[ $status -eq 0 ] || [ $status -eq 3 ] || fail "root's quorvel-cli run ended with $status, see $out/root-route.txt"
in_root env HOME=/root DISPLAY="$display" quorvel >"$out/root-quorvel.txt" 2>&1 &
wait_for "Quorvel v" 30 || fail "Quorvel's window did not open for root, see $out/root-quorvel.txt"
sleep 2
stop_programs
[ -s "$root/root/.local/share/Quorvel/Quorvel.log" ] || fail "root's run log is not in /root/.local/share/Quorvel"
echo "Root's run log: /root/.local/share/Quorvel/Quorvel.log"
changed=$(usr_state | diff "$out/usr-before-root" - || true)
[ -z "$changed" ] || fail "root's route changed /usr: $changed"
in_root dpkg --verify quorvel quorvel-cli || fail "dpkg --verify reports changed files"
echo "/usr is untouched; dpkg --verify finds nothing changed."

step "apt purge quorvel quorvel-cli"
in_root apt-get purge -y -qq quorvel quorvel-cli >"$out/apt-purge.log" 2>&1 || fail "apt purge"
in_root apt-get purge -y -qq bash-completion >>"$out/apt-purge.log" 2>&1 || fail "apt purge bash-completion"
in_root apt-get autoremove --purge -y -qq >>"$out/apt-purge.log" 2>&1 || fail "apt autoremove"
# Folders that other packages share may stay; no file or link of the packages may.
left=$(while read -r f; do
    if [ -L "$root$f" ] || { [ -e "$root$f" ] && [ ! -d "$root$f" ]; }; then echo "$f"; fi
done <"$out/package-files")
[ -z "$left" ] || fail "left behind: $left"
for d in /usr/lib/quorvel /usr/share/doc/quorvel /usr/share/doc/quorvel-cli; do
    [ ! -e "$root$d" ] || fail "$d is still there: $(find "$root$d" | sed "s|^$root||" | tr '\n' ' ')"
done
packages >"$out/packages-after"
diff "$out/packages-before" "$out/packages-after" >/dev/null ||
    fail "the packages differ from those before the install: $(diff "$out/packages-before" "$out/packages-after" | tr '\n' ' ')"
echo "Nothing of the packages is left; the installed packages are those before the install."

cleanup
mounted=()
trap - EXIT
rm -rf "$root"
step "Package check passed"
