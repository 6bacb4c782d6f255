// Where a long step reports what it is doing: one line of status text that replaces
// the previous one. The progress window is the program's sink.
#pragma once
#include <string>

namespace zel {

class ProgressSink {
 public:
  virtual ~ProgressSink() = default;
  virtual void SetStatus(const std::string& text) = 0;
};

}  // namespace zel
