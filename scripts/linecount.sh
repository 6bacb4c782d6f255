#!/usr/bin/env bash
# Prints the project's production and test lines (non-blank, non-comment lines of C and
# C++), and the tests' share of the whole.
#   production: src/, companion/ (less its tests), service/ (less its tests and fuzz targets)
#   tests:      tests/, service/tests/, service/fuzz/, companion/tests/
# bench/ and demo/ (the demo's launcher) count as neither, nor do build and shell scripts.
set -euo pipefail
cd "$(dirname "$0")/.."

# Lines that hold more than whitespace, a // comment or a /* */ comment block.
count() {
  find "$@" -type f \( -name '*.cpp' -o -name '*.h' -o -name '*.c' \) -print0 2>/dev/null |
    xargs -0 -r cat | awk '
      in_block { if (/\*\//) in_block = 0; next }
      /^[ \t]*\/\*/ { if (!/\*\//) in_block = 1; next }
      !/^[ \t]*(\/\/.*)?$/ { n++ }
      END { print n + 0 }'
}

share() { awk -v t="$1" -v p="$2" 'BEGIN { printf "%.1f%%", 100 * t / (t + p) }'; }

updater=$(( $(count src companion) - $(count companion/tests) ))
updater_tests=$(count tests companion/tests)
service=$(( $(count service) - $(count service/tests service/fuzz) ))
service_tests=$(count service/tests service/fuzz)
production=$((updater + service))
tests=$((updater_tests + service_tests))
echo "updater: production $updater, tests $updater_tests ($(share $updater_tests $updater) of all)"
echo "service: production $service, tests $service_tests ($(share $service_tests $service) of all)"
echo "lines: production $production, tests $tests ($(share $tests $production) of all)"
