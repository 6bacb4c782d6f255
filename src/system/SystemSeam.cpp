#include "system/SystemSeam.h"

namespace zel {
namespace {
SystemSeam* g_seam = nullptr;
}

SystemSeam& Seam() { return g_seam ? *g_seam : DefaultSeam(); }

SystemSeam* SetSeam(SystemSeam* seam) {
  SystemSeam* previous = g_seam;
  g_seam = seam;
  return previous;
}

}  // namespace zel
