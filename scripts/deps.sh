#!/usr/bin/env bash
# Installs the Debian 12 packages the build, the tests and the demo need, when missing.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config
    libgtest-dev libgmock-dev
    qt6-base-dev libgl-dev qt6-qpa-plugins libcanberra-dev
    libcli11-dev nlohmann-json3-dev libopenmpt-dev libpng-dev
    xvfb xauth fonts-dejavu-core librsvg2-bin
    clang libclang-rt-14-dev
    g++-mingw-w64-x86-64-posix
    locales
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
# The engine tests run once more under this locale; its case rules are not ASCII's.
locale -a 2>/dev/null | grep -qix 'tr_TR.utf8' && need_locale=0 || need_locale=1
[ ${#missing[@]} -eq 0 ] && [ $need_locale -eq 0 ] && exit 0

if [ "$(id -u)" -eq 0 ]; then
    SUDO=()
elif command -v sudo >/dev/null 2>&1; then
    SUDO=(sudo)
else
    echo "Missing and neither root nor sudo is at hand: ${missing[*]}" \
         "$([ $need_locale -eq 1 ] && echo 'the tr_TR.UTF-8 locale')" >&2
    # Without the locale only the Turkish-locale test is skipped; packages are a must.
    [ ${#missing[@]} -eq 0 ] && exit 0
    exit 1
fi
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    "${SUDO[@]}" apt-get update -qq
    "${SUDO[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
if [ $need_locale -eq 1 ]; then
    echo "Generating the tr_TR.UTF-8 locale"
    "${SUDO[@]}" localedef -i tr_TR -f UTF-8 tr_TR.UTF-8 ||
        echo "tr_TR.UTF-8 could not be generated; the test that needs it is skipped" >&2
fi
