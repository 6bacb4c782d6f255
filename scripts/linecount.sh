#!/usr/bin/env bash
# Prints the project's production and test lines (non-blank, non-comment-only lines
# of C++, CMake and shell), and the tests' share of the whole.
#   production: src/, companion/ (less its tests), service/ (less its tests and fuzz
#               targets), res/, cmake/, scripts/, bench/, the top CMakeLists.txt
#   tests:      tests/, service/tests/, service/fuzz/, companion/tests/
set -euo pipefail
cd "$(dirname "$0")/.."

count() {
  # Lines that hold more than whitespace or a // or # comment.
  find "$@" -type f \( -name '*.cpp' -o -name '*.h' -o -name '*.c' -o -name '*.rc' -o -name '*.rc.in' \
    -o -name 'CMakeLists.txt' -o -name '*.cmake' -o -name '*.sh' \) -print0 2>/dev/null |
    xargs -0 cat 2>/dev/null | grep -cvE '^\s*($|//|#\s|#$)' || true
}

test_dirs=(tests)
for d in service/tests service/fuzz companion/tests; do [ -d "$d" ] && test_dirs+=("$d"); done
all=$(count src companion service res cmake scripts bench CMakeLists.txt)
in_tests_elsewhere=0
for d in "${test_dirs[@]:1}"; do in_tests_elsewhere=$((in_tests_elsewhere + $(count "$d"))); done
production=$((all - in_tests_elsewhere))
tests=$(( $(count tests) + in_tests_elsewhere ))
echo "lines: production $production, tests $tests ($((100 * tests / (production + tests)))% of all)"
