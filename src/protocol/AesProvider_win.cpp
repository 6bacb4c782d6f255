#include "protocol/AesProvider_win.h"

#include "system/UniqueHandle_win.h"

namespace zel {

HCRYPTPROV AesProvider() {
  static const UniqueCryptContext provider = [] {
    UniqueCryptContext context;
    if (!CryptAcquireContextW(context.Put(), nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT))
      context.Reset();
    return context;
  }();
  return provider.Get();
}

}  // namespace zel
