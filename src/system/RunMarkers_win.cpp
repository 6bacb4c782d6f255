#include "system/RunMarkers.h"

#include <windows.h>

#include <optional>

#include "system/FileListing.h"
#include "system/RunMarkers.h"
#include "system/Text_win.h"
#include "system/UniqueHandle_win.h"
#include "system/Folders.h"

namespace zel {
namespace {

// The folder of the markers: the given one, or the product data folder (no value when
// that cannot be made).
std::optional<std::string> MarkerFolder(const std::string& folder) {
  if (!folder.empty()) return folder;
  std::string productData = GetProductDataDir();
  if (productData.empty()) return std::nullopt;
  return productData;
}

std::optional<std::string> MarkerPath(const std::string& name, const std::string& folder) {
  std::optional<std::string> path = MarkerFolder(folder);
  if (path) *path += name + kMarkerExtension;
  return path;
}

std::optional<bool> OtherMarkerListed(const std::string& name, const std::string& folder) {
  const std::optional<std::string> where = MarkerFolder(folder);
  if (!where) return std::nullopt;
  std::vector<std::string> names = ListNormalFiles(*where + "*" + kMarkerExtension);
  for (std::string& listed : names) listed = LowerText(listed);
  return ListingHasOtherMarker(names, LowerText(name));
}

}  // namespace

bool CreateRunMarker(const std::string& name, const std::string& folder) {
  const std::optional<std::string> path = MarkerPath(name, folder);
  if (!path) return false;
  // Create-new without delete sharing: a name already held by a live process gets no
  // second file, and nobody can delete this one while it is held. Delete-on-close ties
  // the file to this process: the system removes it when the process ends, however it ends.
  UniqueFile file(CreateFileA(ToAnsi(*path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, CREATE_NEW, FILE_FLAG_DELETE_ON_CLOSE, nullptr));
  if (file) {
    const std::string pid = ToAnsi(std::to_string(GetCurrentProcessId()));
    DWORD written = 0;
    WriteFile(file.Get(), pid.data(), static_cast<DWORD>(pid.size()), &written, nullptr);
    FlushFileBuffers(file.Get());
    file.Release();  // deliberately never closed: the marker lives exactly as long as this process
  }
  // A marker that could not be created (name already held) is no failure of the caller's.
  return true;
}

bool DeleteRunMarker(const std::string& name) {
  const std::optional<std::string> path = MarkerPath(name, "");
  if (!path) return false;
  const std::string ansi = ToAnsi(*path);
  if (NormalFileListed(*path) && DeleteFileA(ansi.c_str())) return true;
  DeleteFileA(ansi.c_str());  // one more try, whatever the listing said
  return false;
}

bool RunMarkerExists(const std::string& name, const std::string& folder) {
  const std::optional<std::string> path = MarkerPath(name, folder);
  return path && NormalFileListed(*path);
}

bool OtherRunMarkerExists(const std::string& name, const std::string& folder) {
  // When the product data folder cannot be made, nothing is known: count that as
  // another process, never as "all others have ended".
  return OtherMarkerListed(name, folder).value_or(true);
}

bool WaitRunMarker(const std::string& name, std::int32_t intervalMs, std::int32_t maxPolls) {
  return PollForMarker(intervalMs, maxPolls, [&] { return RunMarkerExists(name, ""); });
}

bool WaitOtherRunMarkersGone(std::int32_t intervalMs, std::int32_t maxPolls, const std::string& folder) {
  return PollUntilOthersGone(intervalMs, maxPolls,
                             [&] { return OtherMarkerListed(kInstallingMarker, folder); });
}

}  // namespace zel
