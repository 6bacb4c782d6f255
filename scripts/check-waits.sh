#!/usr/bin/env bash
# Fails when a Windows executable of the tree uses the C++ library's atomic waits:
# std::atomic<T>::wait/notify_*, std::latch, std::barrier and the std semaphores all
# rest on one pool of waiters, and with the mingw C++ library (no futex; GCC 12's
# fallback notifies without taking the pool's lock) a wake-up can be lost and a
# waiter sleeps for good. Every use instantiates that pool, whose static array is a
# symbol of the executable; an executable without symbols cannot be checked and
# fails too.
#   scripts/check-waits.sh NM TREE
set -euo pipefail
nm=$1 tree=$2
bad=0 checked=0
while IFS= read -r -d '' exe; do
  # Test data named .exe (packages of random bytes) is no program.
  [ "$(head -c 2 "$exe")" = MZ ] || continue
  symbols=$("$nm" -C "$exe" 2>/dev/null) || symbols=
  if [ -z "$symbols" ]; then
    echo "no symbols to check: $exe"; bad=1
  elif grep -q '__waiter_pool' <<<"$symbols"; then
    echo "uses the C++ library's atomic waits: $exe"; bad=1
  fi
  checked=$((checked + 1))
done < <(find "$tree" -name '*.exe' -print0)
[ "$checked" -gt 0 ] || { echo "no executables under $tree"; exit 1; }
[ "$bad" = 0 ] && echo "waits: none of $checked executables uses the C++ library's atomic waits"
exit "$bad"
