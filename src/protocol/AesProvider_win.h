// CryptoAPI's AES provider, the one with SHA-256 (Windows XP SP3 included), for the
// package digests and the signature checks alike.
#pragma once
#include "system/DelayImports_win.h"

namespace zel {

// Acquired on first use as a verification context and kept for the process's life: an
// acquisition reads the registry and opens the provider anew (1.6 ms under Wine,
// measured), and a signed run hashes several times. 0 when it cannot be had.
HCRYPTPROV AesProvider();

}  // namespace zel
