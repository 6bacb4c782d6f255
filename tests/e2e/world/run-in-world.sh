#!/usr/bin/env bash
# Runs a Windows program inside a fresh end-to-end world and tears the world down
# afterwards, whatever happens:
#
#   run-in-world.sh PROGRAM [ARGS...]
#
# The program runs as every test program does (scripts/wine-test-run.sh: under Wine,
# without address-space randomization, failed when it ended before its tests did)
# inside the world's network namespace and learns the world from
# ZEL_WORLD_* variables (see world.sh). Its exit code is ours; 1 also when the world
# could not be built.
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/world.sh"

[ $# -ge 1 ] || { echo "usage: $0 PROGRAM [ARGS...]" >&2; exit 2; }
trap world_down EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
world_up "${ZEL_WORLD_LABEL:-run}" || exit 1
world_exec sh "$(dirname "${BASH_SOURCE[0]}")/../../../scripts/wine-test-run.sh" "$@"
code=$?
if [ "$code" -ne 0 ]; then
  echo "== update service log (last lines)" >&2
  tail -n 40 "$ZEL_WORLD_DIR/service/stderr" >&2
fi
exit "$code"
