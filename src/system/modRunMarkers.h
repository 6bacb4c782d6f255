// Run markers: a product process announces itself by holding <name>.run, opened
// delete-on-close, in the product data folder for exactly as long as it lives.
// A folder argument of "" means the product data folder; any other folder must end
// with a backslash.
#pragma once
#include <cstdint>
#include <string>

namespace zel {

bool CreateRunMarker(const std::string& name, const std::string& folder);
bool DeleteRunMarker(const std::string& name);
bool RunMarkerExists(const std::string& name, const std::string& folder);
bool OtherRunMarkerExists(const std::string& name, const std::string& folder);
bool WaitRunMarker(const std::string& name, std::int32_t intervalMs, std::int32_t maxPolls);
bool WaitOtherRunMarkersGone(std::int32_t intervalMs, std::int32_t maxPolls, const std::string& folder);

}  // namespace zel
