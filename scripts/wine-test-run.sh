#!/bin/sh
# Runs a Windows test program under Wine, as ctest starts every one of them, and
# fails it when it ended before its tests did: code that ends the process (the
# updater's immediate termination, an exit deep inside a library) would otherwise end
# a test with exit code 0 and pass it. GoogleTest makes the file named by
# TEST_PREMATURE_EXIT_FILE when it starts and removes it when the tests are done.
#
# Address-space randomization is off: this Wine has no preloader to hold the fixed
# addresses it needs (the shared user data at 0x7ffe0000), so now and then a
# randomized layout took one and the program died at start ("failed to map the shared
# user data", exit code 1, no output). Programs they start inherit the setting.
marker=$(mktemp "${TMPDIR:-/tmp}/zel-premature.XXXXXX") || exit 1
TEST_PREMATURE_EXIT_FILE="Z:$(printf '%s' "$marker" | tr / '\\')" setarch x86_64 -R wine "$@"
code=$?
if [ -s "$marker" ]; then
  echo "the test program ended before its tests did (exit code $code)" >&2
  code=1
fi
rm -f "$marker"
exit "$code"
