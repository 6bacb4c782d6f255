#include "system/Automation_win.h"

#include <objbase.h>
#include <oleauto.h>
#include <windows.h>

#include "system/Platform.h"
#include "system/ScopeExit.h"
#include "system/Text_win.h"
#include "system/UniqueHandle_win.h"
#include "system/WorkerThread.h"

namespace zel {
namespace {

// COM for the calling thread, for as long as the object lives; leaves an apartment
// that the thread already entered (in whatever mode) as it is.
class ComApartment {
 public:
  ComApartment() : entered_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;
  ~ComApartment() {
    if (entered_) CoUninitialize();
  }

 private:
  bool entered_;
};

bool Invoke(IDispatch* object, const wchar_t* member, WORD kind, VARIANT* result) {
  DISPID id = 0;
  LPOLESTR names[] = {const_cast<LPOLESTR>(member)};
  if (FAILED(object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id))) return false;
  DISPPARAMS noArguments{};
  return SUCCEEDED(
      object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, kind, &noArguments, result, nullptr, nullptr));
}

bool GetTextProperty(IDispatch* object, const wchar_t* property, std::string& text) {
  UniqueVariant value;
  if (!Invoke(object, property, DISPATCH_PROPERTYGET, value.Get())) return false;
  if (FAILED(VariantChangeType(value.Get(), value.Get(), 0, VT_BSTR))) return false;
  const BSTR bstr = V_BSTR(value.Get());
  text = bstr ? Narrow(std::wstring_view(bstr, SysStringLen(bstr))) : std::string();
  return true;
}

std::optional<AutomationServerFacts> AskServer(const std::string& progId) {
  ComApartment apartment;
  CLSID clsid{};
  if (FAILED(CLSIDFromProgID(Widen(progId).c_str(), &clsid))) return std::nullopt;
  ComPtr<IDispatch> server;
  if (FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_SERVER, IID_IDispatch, server.PutVoid())))
    return std::nullopt;
  // The server was started for this question only: quit it whatever happens next.
  ScopeExit quit([&server] {
    UniqueVariant ignored;
    Invoke(server.Get(), L"Quit", DISPATCH_METHOD, ignored.Get());
  });

  AutomationServerFacts facts;
  if (!GetTextProperty(server.Get(), L"version", facts.version)) return std::nullopt;
  if (!GetTextProperty(server.Get(), L"Path", facts.path)) return std::nullopt;
  return facts;
}

}  // namespace

std::optional<AutomationServerFacts> QueryAutomationServer(const std::string& progId) {
  // COM sets no time-out on a call into another process: a server that starts but
  // hangs in a call would hold the run for good. So the question goes to a thread of
  // its own, and the window is serviced while the answer is awaited.
  constexpr std::chrono::seconds kAnswerWait{60};
  return AskWithin<AutomationServerFacts>(
      kAnswerWait, [progId] { return AskServer(progId); }, [] { CurrentPlatform().PumpMessages(); });
}

}  // namespace zel
