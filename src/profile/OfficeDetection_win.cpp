// The Office detection on this machine: associations under HKEY_CLASSES_ROOT, add-in
// keys under HKEY_CURRENT_USER, file versions, and the spreadsheet automation servers.
#include <objbase.h>
#include <oleauto.h>
#include <windows.h>

#include "profile/Registry_win.h"
#include "profile/FileVersion.h"
#include "profile/OfficeDetection.h"
#include "system/ScopeExit.h"
#include "system/Text_win.h"
#include "system/UniqueHandle_win.h"

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

}  // namespace

bool DetectOfficeByAutomation(const std::string& progId, const std::string& appName, DocAppInfo& info) {
  ComApartment apartment;
  CLSID clsid{};
  if (FAILED(CLSIDFromProgID(Widen(progId).c_str(), &clsid))) return false;
  ComPtr<IDispatch> server;
  if (FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_SERVER, IID_IDispatch, server.PutVoid()))) return false;
  // The server was started for this question only: quit it whatever happens next.
  ScopeExit quit([&server] {
    UniqueVariant ignored;
    Invoke(server.Get(), L"Quit", DISPATCH_METHOD, ignored.Get());
  });

  std::string version;
  if (!GetTextProperty(server.Get(), L"version", version)) return false;
  const auto dot = version.find('.');
  if (dot == std::string::npos) return false;
  info.Version = version.substr(0, dot);

  std::string folder;
  if (!GetTextProperty(server.Get(), L"Path", folder)) return false;
  info.ExePath = folder + "\\" + appName + ".exe";
  info.AppName = appName;
  info.Folder = folder;
  return true;
}

bool GetDefaultDocApp(DocAppInfo& info) {
  DocAppSources sources;
  sources.classesRootDefault = [](const std::string& key) -> std::optional<std::string> {
    const auto value = RegTryReadValue(HKEY_CLASSES_ROOT, key, "");
    // Association texts are only ever used in lower case (ProgIDs as key names, which
    // the registry compares without case), so they are lowered here with the
    // system's rules for every script.
    if (!value) return std::nullopt;
    return LowerText(RegValueText(*value));
  };
  sources.fileVersion = GetFileVersion;
  sources.automation = DetectOfficeByAutomation;
  return ResolveDefaultDocApp(sources, info);
}

std::string GetOfficeAddins() {
  AddinSources sources;
  sources.subKeys = [](const std::string& keyPath) {
    long count = 0;
    return RegEnumSubKeys(HKEY_CURRENT_USER, keyPath, count);
  };
  sources.readValue = [](const std::string& keyPath, const std::string& valueName) {
    return RegTryReadValue(HKEY_CURRENT_USER, keyPath, valueName);
  };
  return BuildOfficeAddins(sources);
}

std::string GetDocShellAddins(const std::string& appName) {
  // Add-ins are listed only for Microsoft Office handlers, never for WPS.
  if (appName == "winword" || appName == "moc") return GetOfficeAddins();
  return "{}";
}

}  // namespace zel
