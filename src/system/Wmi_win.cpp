// The WMI service of root\cimv2 through its COM interfaces. The caller's thread has
// COM initialised (apartment-threaded, default security); the class never initialises
// it itself.
#include "system/Wmi.h"

// Winsock before <windows.h>, and <windows.h> before the rest.
// clang-format off
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <iphlpapi.h>
#include <icmpapi.h>
#include <wbemidl.h>
// clang-format on

#include <optional>

#include "system/Guarded.h"
#include "system/Platform.h"
#include "system/ScopeExit.h"
#include "system/Text.h"
#include "system/Text_win.h"
#include "system/UniqueHandle_win.h"
#include "system/Process_win.h"

namespace zel {
namespace {

struct IcmpHandleTraits {
  using Type = HANDLE;
  static Type Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(Type h) { IcmpCloseHandle(h); }
};
using UniqueIcmp = UniqueHandle<IcmpHandleTraits>;

enum class FirstRow { kFound, kNone, kFailed };

// Takes the first object of a query's collection. Errors of a query started with
// "return immediately" show up here, at the first step of the enumeration.
// A provider that has not produced the row within kRowWaitMs counts as no row.
FirstRow TakeFirst(IEnumWbemClassObject* rows, ComPtr<IWbemClassObject>& row) {
  constexpr long kRowWaitMs = 30000;
  ULONG returned = 0;
  const HRESULT hr = rows->Next(kRowWaitMs, 1, row.Put(), &returned);
  if (FAILED(hr)) return FirstRow::kFailed;
  return returned == 1 && row ? FirstRow::kFound : FirstRow::kNone;
}

// A property as trimmed text. A null value has no text: that fails, as does a
// property the class does not have.
bool PropertyText(IWbemClassObject* row, const wchar_t* name, std::string& text) {
  UniqueVariant value;
  if (FAILED(row->Get(name, 0, value.Get(), nullptr, nullptr))) return false;
  if (V_VT(value.Get()) == VT_NULL) return false;
  if (V_VT(value.Get()) != VT_BSTR && FAILED(VariantChangeType(value.Get(), value.Get(), 0, VT_BSTR))) {
    return false;
  }
  const BSTR bstr = V_BSTR(value.Get());
  text = TrimSpaces(Narrow(std::wstring_view(bstr, SysStringLen(bstr))));
  return true;
}

// Whether the StatusCode of a ping row is present and 0 (the host answered).
bool PingAnswered(IWbemClassObject* row) {
  UniqueVariant value;
  if (FAILED(row->Get(L"StatusCode", 0, value.Get(), nullptr, nullptr))) return false;
  if (V_VT(value.Get()) == VT_NULL || V_VT(value.Get()) == VT_EMPTY) return false;
  if (FAILED(VariantChangeType(value.Get(), value.Get(), 0, VT_I4))) return false;
  return V_I4(value.Get()) == 0;
}

// One ICMP echo with the defaults of the WMI ping (32 bytes of data, 1000 ms), to the
// first IPv4 address of the host.
bool EchoAnswered(const std::string& host) {
  WSADATA wsa;
  if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0) return false;
  const ScopeExit cleanup([] { WSACleanup(); });

  ADDRINFOW hints{};
  hints.ai_family = AF_INET;
  ADDRINFOW* found = nullptr;
  if (GetAddrInfoW(Widen(host).c_str(), nullptr, &hints, &found) != 0 || found == nullptr) return false;
  const IPAddr address = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr.s_addr;
  FreeAddrInfoW(found);

  UniqueIcmp icmp(IcmpCreateFile());
  if (!icmp) return false;
  char payload[32] = {};
  alignas(ICMP_ECHO_REPLY) unsigned char reply[sizeof(ICMP_ECHO_REPLY) + sizeof payload + 8 + 64];
  const DWORD replies =
      IcmpSendEcho(icmp.Get(), address, payload, sizeof payload, nullptr, reply, sizeof reply, 1000);
  return replies > 0 && reinterpret_cast<const ICMP_ECHO_REPLY*>(reply)->Status == IP_SUCCESS;
}

class WmiService final : public ClsWMI {
 public:
  explicit WmiService(ComPtr<IWbemServices> services) : services_(std::move(services)) {}

  WmiAnswer<WmiOs> getOsInfo() override {
    WmiAnswer<WmiOs> answer;
    answer.ok = ReadFirst(kOsQuery, L"Caption", answer.value.caption, L"version", &answer.value.version);
    return answer;
  }

  WmiAnswer<WmiCpu> getCpuInfo() override {
    WmiAnswer<WmiCpu> answer;
    answer.ok = ReadFirst(kCpuQuery, L"Name", answer.value.name, L"AddressWidth", &answer.value.addressWidth);
    return answer;
  }

  WmiAnswer<std::string> getUUIDInfo() override {
    WmiAnswer<std::string> answer;
    answer.ok = ReadFirst(kProductQuery, L"uuid", answer.value, nullptr, nullptr);
    return answer;
  }

  bool IsExistProcess(const std::string& exeName) override {
    return Guarded("process lookup", false, [&] { return AnyProcessNamed(exeName).value_or(false); });
  }

  bool TerminateProcess(const std::string& exeName) override {
    const bool ran = Guarded("process stop", false, [&] {
      if (ShellStart(TaskkillCommand(exeName), SW_HIDE) == 0) return false;
      CurrentPlatform().PumpMessages();
      CurrentPlatform().SleepMs(1000);
      return true;
    });
    if (!ran) return false;
    // Once the stop command ran, only a process still found makes this fail; a
    // query that cannot run leaves it a success.
    return Guarded("process stop check", true, [&] { return !AnyProcessNamed(exeName).value_or(false); });
  }

  bool IsConnectedNetWork(const std::string& webAddress) override {
    return Guarded("connectivity probe", false, [&] {
      const std::string host = PingHostOf(webAddress);
      if (host.empty()) return false;
      ComPtr<IEnumWbemClassObject> rows;
      if (FAILED(Query(PingQuery(host), rows))) return false;
      ComPtr<IWbemClassObject> row;
      switch (TakeFirst(rows.Get(), row)) {
        case FirstRow::kFound:
          return PingAnswered(row.Get());
        case FirstRow::kFailed:
          return false;
        case FirstRow::kNone:
          // A WMI without a ping provider (Wine's) answers with no row at all: the
          // program then sends the echo itself, with the same defaults.
          return EchoAnswered(host);
      }
      return false;
    });
  }

 private:
  HRESULT Query(std::string_view wql, ComPtr<IEnumWbemClassObject>& rows) {
    UniqueBstr language(L"WQL");
    UniqueBstr text(Widen(wql).c_str());
    if (!language.Get() || !text.Get()) return E_OUTOFMEMORY;
    return services_->ExecQuery(language.Get(), text.Get(),
                                WBEM_FLAG_RETURN_IMMEDIATELY | WBEM_FLAG_FORWARD_ONLY, nullptr, rows.Put());
  }

  // The shape of the information queries: outputs emptied first, then the properties
  // of the first object read in order, each trimmed. No object at all is a success
  // with empty outputs; a failing property stops there and fails.
  bool ReadFirst(std::string_view wql, const wchar_t* firstName, std::string& first,
                 const wchar_t* secondName, std::string* second) {
    first.clear();
    if (second) second->clear();
    return Guarded("WMI query", false, [&] {
      ComPtr<IEnumWbemClassObject> rows;
      if (FAILED(Query(wql, rows))) return false;
      ComPtr<IWbemClassObject> row;
      switch (TakeFirst(rows.Get(), row)) {
        case FirstRow::kFailed:
          return false;
        case FirstRow::kNone:
          return true;
        case FirstRow::kFound:
          break;
      }
      if (!PropertyText(row.Get(), firstName, first)) return false;
      if (second && !PropertyText(row.Get(), secondName, *second)) return false;
      return true;
    });
  }

  // Whether a process of that image name runs; no value when the query fails.
  std::optional<bool> AnyProcessNamed(const std::string& exeName) {
    ComPtr<IEnumWbemClassObject> rows;
    if (FAILED(Query(ProcessQuery(exeName), rows))) return std::nullopt;
    ComPtr<IWbemClassObject> row;
    const FirstRow first = TakeFirst(rows.Get(), row);
    if (first == FirstRow::kFailed) return std::nullopt;
    return first == FirstRow::kFound;
  }

  ComPtr<IWbemServices> services_;
};

}  // namespace

std::unique_ptr<ClsWMI> BindWmiService() {
  return Guarded<std::unique_ptr<ClsWMI>>("WMI binding", nullptr, [&]() -> std::unique_ptr<ClsWMI> {
    ComPtr<IWbemLocator> locator;
    if (FAILED(CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                                locator.PutVoid()))) {
      return nullptr;
    }
    // The local computer's root\cimv2.
    UniqueBstr space(L"\\\\.\\root\\cimv2");
    ComPtr<IWbemServices> services;
    if (FAILED(locator->ConnectServer(space.Get(), nullptr, nullptr, nullptr, 0, nullptr, nullptr,
                                      services.Put()))) {
      return nullptr;
    }
    // Calls impersonate the caller. A service that runs in this process has no proxy
    // to set this on, and needs none.
    CoSetProxyBlanket(services.Get(), RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr, RPC_C_AUTHN_LEVEL_CALL,
                      RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE);
    return std::make_unique<WmiService>(std::move(services));
  });
}

}  // namespace zel
