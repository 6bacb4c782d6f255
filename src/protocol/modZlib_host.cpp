// The host build links zlib directly.
#include <zlib.h>

#include "protocol/modZlib.h"

namespace zel {

Compress2Fn BuildCompress2() { return &::compress2; }

}  // namespace zel
