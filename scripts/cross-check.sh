#!/usr/bin/env bash
# The OS seam, checked: every translation unit of platform/ (but posix_*), settings/, engine/,
# cli/ and of the portable tests includes no system header (only the C++ standard library,
# platform/'s own headers and the libraries' CLI11, nlohmann-json and GoogleTest) and compiles for
# Windows with MinGW-w64 (posix thread model: the win32 one lacks std::thread). Compile only:
# nothing is linked. Outside platform/ no path separator is written out (see 2.). A test that
# must reach the OS itself starts with "// Linux only" and says why.
# Usage: scripts/cross-check.sh [work folder]; exits non-zero when one file fails.
set -euo pipefail
cd "$(dirname "$0")/.."
work=${1:-build/cross-check}
cxx=x86_64-w64-mingw32-g++-posix
command -v "$cxx" >/dev/null || { echo "cross-check: $cxx is missing (scripts/deps.sh)" >&2; exit 1; }

# The libraries' headers alone: Debian's CMake files add -isystem /usr/include, whose Linux
# headers a cross build must not see.
mkdir -p "$work/include"
rm -f "$work"/*.err
for lib in CLI nlohmann gtest gmock; do ln -sfn "/usr/include/$lib" "$work/include/$lib"; done

portable=()
for f in platform/*.cpp platform/*.h settings/*.cpp settings/*.h package/*.cpp package/*.h \
         engine/*.cpp engine/*.h engine/*/*.cpp engine/*/*.h \
         cli/*.cpp cli/*.h tests/support/*.cpp tests/support/*.h \
         tests/{platform,settings,package,engine,cli,robustness}/*.cpp; do
    case "$(basename "$f")" in posix_*) continue ;; esac
    head -n 1 "$f" | grep -q '^// Linux only' && continue
    portable+=("$f")
done
# Qt's widgets have their own test support; these two headers are for them.
portable=($(printf '%s\n' "${portable[@]}" | grep -v -e scripted_boxes.h))

# 1. No system header outside platform/posix_*: a C or POSIX header (anything ending in .h but
# the libraries' own) is the OS reached around the layer, even where MinGW happens to have it.
failed=0
if leaks=$(grep -n -E '^\s*#\s*include\s*<[^>]*\.h>' "${portable[@]}" |
           grep -v -E '<(gtest/gtest|gmock/gmock)\.h>'); then
    echo "cross-check: system headers outside platform/posix_*:" >&2
    echo "$leaks" >&2
    failed=1
fi

# 2. No path separator written out outside platform/: paths are joined, split and told absolute
# through platform/paths.h, which knows the system's separator. A line (but comments and
# #include) holding '/' or a string literal that begins or ends in '/' fails, unless it says
# "// not a path" (a '/' in text, a MIME type) or "// Qt path" (a QString path, which Qt
# writes with '/' on every system). It is a heuristic: a '/' inside a literal is let through
# (text, or a relative path in the generic form joinGenericPath and resolveNoCase take).
sources=()
for f in engine/*.cpp engine/*.h engine/*/*.cpp engine/*/*.h settings/*.cpp settings/*.h \
         package/*.cpp package/*.h cli/*.cpp cli/*.h media/*.cpp media/*.h thumbnailer/*.cpp \
         app/*.cpp app/*.h troubleshooter/*.cpp troubleshooter/*.h widgets/*.cpp widgets/*.h; do
    [ -e "$f" ] && sources+=("$f")
done
if separators=$(perl -ne '
        next if m{// (not a path|Qt path)\b} || m{^\s*(#\s*include|//|\*)};
        s{\s//(\s.*)?$}{};
        print "$ARGV:$.: $_" if m{'"'/'"'|(?<![\w"\\])"/|[\w.~*]/"};
        close ARGV if eof;' "${sources[@]}") && [ -n "$separators" ]; then
    echo "cross-check: a path separator written out outside platform/ (use platform/paths.h):" >&2
    echo "$separators" >&2
    failed=1
fi

# 3. Every portable translation unit compiles for Windows.
units=()
for f in "${portable[@]}"; do [[ $f == *.cpp ]] && units+=("$f"); done
compile() {
    "$cxx" -std=c++20 -fsyntax-only -Wall -Wextra -Werror -I. -isystem "$work/include" \
        -DQV_VERSION='"0"' -DQV_TEST_DATA_DIR='"data"' -DQV_BUILD_DIR='"build"' \
        -DQV_FUZZ_DIR='"fuzz"' -DQV_CRASH_CHILD='"child"' "$1" 2>"$work/$(echo "$1" | tr / _).err" ||
        echo "$1"
}
export -f compile
export cxx work
broken=$(printf '%s\n' "${units[@]}" | xargs -P "${JOBS:-2}" -I{} bash -c 'compile {}' | sort)
if [ -n "$broken" ]; then
    for f in $broken; do
        echo "cross-check: $f does not compile for Windows:" >&2
        grep -m 3 -E 'error' "$work/$(echo "$f" | tr / _).err" >&2 || true
    done
    failed=1
fi
echo "cross-check: $(( ${#units[@]} - $(echo -n "$broken" | grep -c . || true) )) of ${#units[@]}" \
     "translation units compile for Windows"
exit $failed
