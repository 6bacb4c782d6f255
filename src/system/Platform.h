// Everything the program asks of the world beyond its files that a test must be able
// to control, behind one interface: time (sleeping, the message pump, today's date),
// the user's answers to message boxes, two facts about the system, and the services
// that reach it (an HTTP client, zlib's compress2, the WMI service, the automation
// servers of installed programs). The program's start-up installs the Win32
// platform; tests install their own.
#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace zel {

class HttpClient;
class ClsWMI;

struct CivilDate {
  int year = 0;
  int month = 0;  // 1..12
  int day = 0;    // 1..31
};

// What an automation server reports about its program: its "version" and "Path"
// properties as texts.
struct AutomationServerFacts {
  std::string version;  // "16.0"
  std::string path;     // the program's folder, without a trailing "\"
};

// zlib's compress2.
using Compress2Fn = int (*)(unsigned char* dest, unsigned long* destLen, const unsigned char* source,
                            unsigned long sourceLen, int level);

class Platform {
 public:
  virtual ~Platform() = default;
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
  // A new request object; null when the system has none.
  virtual std::unique_ptr<HttpClient> NewHttpClient() = 0;
  // compress2 of the zlib library; null when the library is not there.
  virtual Compress2Fn Compress2() = 0;
  // The WMI service, bound; null when it cannot be bound.
  virtual std::unique_ptr<ClsWMI> BindWmi() = 0;
  // Starts the automation server of a ProgID ("Excel.Application"), reads its version
  // and folder and quits it again; no value when it is not registered, does not start
  // or does not give both texts. Takes seconds when a server starts.
  virtual std::optional<AutomationServerFacts> AskAutomationServer(const std::string& progId) = 0;
};

// The platform in force. Using it before one is installed is a programming error and
// ends the process.
Platform& CurrentPlatform();

// Installs a platform for the life of the scope; the previous one is back afterwards.
class PlatformScope {
 public:
  explicit PlatformScope(Platform& platform);
  ~PlatformScope();
  PlatformScope(const PlatformScope&) = delete;
  PlatformScope& operator=(const PlatformScope&) = delete;

 private:
  Platform* previous_;
};

}  // namespace zel
