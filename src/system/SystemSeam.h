// What a test must control of the outside world, and nothing else: time (sleeping,
// the message pump, today's date), the user's answers to message boxes, and two
// system facts. The program uses the Win32 implementation; tests install their own
// (a virtual clock turns a 60-second wait into no real time).
#pragma once
#include <cstdint>
#include <string>

namespace zel {

struct CivilDate {
  int year = 0;
  int month = 0;  // 1..12
  int day = 0;    // 1..31
};

class SystemSeam {
 public:
  virtual ~SystemSeam() = default;
  // Blocks the thread; no window messages are processed.
  virtual void SleepMs(std::uint32_t ms) = 0;
  // Lets the window process its pending messages (timer, button), then returns.
  virtual void PumpMessages() = 0;
  // Today's local date.
  virtual CivilDate Today() = 0;
  // Shows a message box (flags and result as the system's MB_* and ID* values).
  virtual int AskUser(const std::string& text, const std::string& caption, unsigned flags) = 0;
  virtual bool IsWinXPOrOlder() = 0;
  virtual bool IsElevated() = 0;
};

// The seam in force. Never null: the program's own implementation until a test sets another.
SystemSeam& Seam();
// Installs a seam (nullptr restores the default); returns the previous one.
SystemSeam* SetSeam(SystemSeam* seam);

// The default implementation, provided by the build (Win32 on Windows, std on the host).
SystemSeam& DefaultSeam();

}  // namespace zel
