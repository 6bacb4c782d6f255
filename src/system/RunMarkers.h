// Run markers: a product process announces itself by holding <name>.run, opened
// delete-on-close, in the product data folder for exactly as long as it lives.
// A folder argument of "" means the product data folder; any other folder must end
// with a backslash. The decisions of the protocol apart from the files (which
// listings count as "another process still runs", the poll orders of the two waits)
// are portable; the waits sleep and pump through the platform, so a virtual clock
// can drive them.
#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zel {

bool CreateRunMarker(const std::string& name, const std::string& folder);
bool DeleteRunMarker(const std::string& name);
bool RunMarkerExists(const std::string& name, const std::string& folder);
bool OtherRunMarkerExists(const std::string& name, const std::string& folder);
bool WaitRunMarker(const std::string& name, std::int32_t intervalMs, std::int32_t maxPolls);
bool WaitOtherRunMarkersGone(std::int32_t intervalMs, std::int32_t maxPolls, const std::string& folder);

inline constexpr char kUpdaterMarker[] = "zelpatcher";        // held while the progress window is loaded
inline constexpr char kInstallingMarker[] = "zelinstalling";  // held while a package is installed
inline constexpr char kMarkerExtension[] = ".run";
// The product's marker waits: 60 polls one second apart.
inline constexpr std::int32_t kMarkerPollMs = 1000;
inline constexpr std::int32_t kMarkerPolls = 60;

// Goes through the file names of a "*.run" listing (lower-cased, in listing order):
// each is cleaned of leading and trailing blanks and of every CR LF pair; an empty
// cleaned name ends the search with false, the first name other than
// `lowerOwnName` + ".run" ends it with true.
bool ListingHasOtherMarker(const std::vector<std::string>& lowerNames, std::string_view lowerOwnName);

// Waits for a marker to appear: pump, sleep one interval, count; past maxPolls give
// up, else check. The first check comes one interval after the call; at most
// maxPolls checks are made.
bool PollForMarker(std::int32_t intervalMs, std::int32_t maxPolls, const std::function<bool()>& markerExists);

// Waits for the other markers to vanish: sleep one interval, pump, check; true at the
// first check that finds none, false after maxPolls checks that all found one. A
// check that cannot be made (no value) ends the wait with false at once.
bool PollUntilOthersGone(std::int32_t intervalMs, std::int32_t maxPolls,
                         const std::function<std::optional<bool>()>& otherExists);

}  // namespace zel
