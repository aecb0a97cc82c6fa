#!/usr/bin/env bash
# Lines of test code against lines of program code. Test code: every .cpp/.h under tests/ (the
# only place code that exists only to test may live). Program code: every other .cpp/.h outside
# tests/, bench/ and tools/.
#   scripts/test-ratio.sh [--max PERCENT]   exits 1 when the tests exceed PERCENT of the code
set -euo pipefail
cd "$(dirname "$0")/.."

if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    all=$(git ls-files -co --exclude-standard -- '*.cpp' '*.h')
else
    all=$(find . -path './build*' -prune -o -type f \( -name '*.cpp' -o -name '*.h' \) -print |
        sed 's|^\./||')
fi
lines() { sort -u | xargs -r cat | wc -l; }
tests=$(grep -E '^tests/' <<<"$all" | lines)
code=$(grep -vE '^(tests|bench|tools)/' <<<"$all" | lines)
percent=$((tests * 100 / code))
echo "Test lines: $tests, code lines: $code, tests are ${percent}% of the code"
if [ "${1:-}" = --max ] && [ "$percent" -gt "$2" ]; then
    echo "The tests exceed ${2}% of the code." >&2
    exit 1
fi
