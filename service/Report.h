// What the check-in store tells a vendor: installations by version (now and day by
// day), by document program, and check-ins per day; as text or as one
// self-contained HTML page.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <utility>
#include <vector>

#include "CheckinStore.h"

namespace zel::svc {

// A value and how many installations (or check-ins) have it.
using CountedValues = std::vector<std::pair<std::string, std::int64_t>>;

struct VersionDay {
  std::string day;      // 2026-04-17
  std::string version;  // as reported
  std::int64_t installations = 0;
};

struct ReportData {
  std::int64_t checkins = 0;
  CountedValues byVersion;         // installations by their last reported version
  CountedValues byDocumentProgram; // by the document program of their last full profile
  CountedValues checkinsPerDay;    // oldest day first
  std::vector<VersionDay> versionsByDay;  // installations seen each day, by version
};

// Reads the figures of the last `days` days (totals over everything kept).
std::string LoadReport(CheckinStore& store, int days, std::int64_t now, ReportData& data);
// Client-sent values are escaped as in the request log (\xHH for control and
// non-ASCII bytes).
void WriteTextReport(const ReportData& data, std::ostream& out);
std::string HtmlReport(const ReportData& data, const std::string& title, std::int64_t now);

// Text made safe for HTML content and attribute values.
std::string EscapeHtml(const std::string& text);

}  // namespace zel::svc
