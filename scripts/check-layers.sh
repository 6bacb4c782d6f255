#!/usr/bin/env bash
# Checks the house that the includes draw in src/: a folder includes only itself and
# the folders below it (driver > profile > settings, protocol > system; settings and
# protocol do not include each other), and a portable file (no "_win" in its name)
# includes neither <windows.h> nor a "_win" header. Prints every offending line;
# exits non-zero when there is one.
set -euo pipefail
cd "$(dirname "$0")/../src"

rank() {
  case "$1" in
    system) echo 0 ;; settings | protocol) echo 1 ;; profile) echo 2 ;; driver) echo 3 ;; *) echo 99 ;;
  esac
}

bad=0
while IFS= read -r file; do
  folder=${file%%/*}
  while IFS= read -r line; do
    target=$(sed -E 's/^#include "([a-z]+)\/.*/\1/' <<<"$line")
    if [ "$target" != "$folder" ] && { [ "$(rank "$target")" -ge "$(rank "$folder")" ]; }; then
      echo "upward include: $file: $line"; bad=1
    fi
  done < <(grep -E '^#include "[a-z]+/' "$file" || true)
  case "$file" in
    *_win.*) ;;
    *)
      if grep -nE '^#include (<windows\.h>|"[^"]*_win\.h")' "$file"; then
        echo "portable file includes Win32: $file"; bad=1
      fi ;;
  esac
done < <(find . -name '*.h' -o -name '*.cpp' | sed 's|^\./||' | grep -v '^driver/WinMain.cpp$' | sort)

[ "$bad" = 0 ] && echo "layers: every include points down; portable files stay portable"
exit "$bad"
