#include "Report.h"

#include <algorithm>
#include <map>
#include <ostream>
#include <set>

#include "AccessLog.h"
#include "Catalog.h"

namespace zel::svc {

namespace {

std::string CountedQuery(CheckinStore& store, const std::string& sql, CountedValues& values) {
  TextRows rows;
  if (std::string error = store.Select(sql, rows); !error.empty()) return error;
  for (const auto& row : rows) values.emplace_back(row.at(0), std::stoll(row.at(1)));
  return {};
}

// Distinct colours for the versions of a chart, newest last.
const char* Colour(std::size_t i) {
  static const char* kColours[] = {"#4e79a7", "#f28e2b", "#e15759", "#76b7b2", "#59a14f",
                                   "#edc948", "#b07aa1", "#ff9da7", "#9c755f", "#bab0ac"};
  return kColours[i % (sizeof kColours / sizeof kColours[0])];
}

std::string Num(double v) {
  std::string s = std::to_string(v);
  return s.substr(0, s.find('.') + 2);
}

// Stacked columns: one per day, one colour per version.
std::string VersionChart(const ReportData& data) {
  std::vector<std::string> days;
  std::set<std::string> versionSet;
  std::map<std::string, std::map<std::string, std::int64_t>> byDay;
  for (const auto& v : data.versionsByDay) {
    if (days.empty() || days.back() != v.day) days.push_back(v.day);
    versionSet.insert(v.version);
    byDay[v.day][v.version] += v.installations;
  }
  std::vector<std::string> versions(versionSet.begin(), versionSet.end());
  std::sort(versions.begin(), versions.end(), [](const std::string& a, const std::string& b) {
    if (IsVersionText(a) && IsVersionText(b)) return CompareVersions(a, b) < 0;
    return a < b;
  });
  if (days.empty()) return "<p class=\"empty\">No check-ins in this period.</p>";

  std::int64_t top = 1;
  for (const auto& [day, counts] : byDay) {
    std::int64_t sum = 0;
    for (const auto& [version, n] : counts) sum += n;
    top = std::max(top, sum);
  }
  const double width = 860, height = 260, left = 50, bottom = 30, plotW = width - left - 10, plotH = height - bottom - 10;
  const double slot = plotW / static_cast<double>(days.size());
  const double barW = std::max(2.0, slot * 0.75);
  std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + Num(width) + "\" height=\"" + Num(height) +
                    "\" role=\"img\" aria-label=\"installations by version per day\">";
  for (int i = 0; i <= 4; ++i) {  // grid and scale
    const double y = 10 + plotH - plotH * i / 4.0;
    svg += "<line x1=\"" + Num(left) + "\" x2=\"" + Num(width - 10) + "\" y1=\"" + Num(y) + "\" y2=\"" + Num(y) +
           "\" stroke=\"#ddd\"/><text x=\"" + Num(left - 6) + "\" y=\"" + Num(y + 4) +
           "\" text-anchor=\"end\" class=\"axis\">" + std::to_string(top * i / 4) + "</text>";
  }
  for (std::size_t d = 0; d < days.size(); ++d) {
    const double x = left + slot * static_cast<double>(d) + (slot - barW) / 2;
    double y = 10 + plotH;
    for (std::size_t v = 0; v < versions.size(); ++v) {
      const auto n = byDay[days[d]][versions[v]];
      if (n == 0) continue;
      const double h = plotH * static_cast<double>(n) / static_cast<double>(top);
      y -= h;
      svg += "<rect x=\"" + Num(x) + "\" y=\"" + Num(y) + "\" width=\"" + Num(barW) + "\" height=\"" + Num(h) +
             "\" fill=\"" + Colour(v) + "\"><title>" + EscapeHtml(days[d] + ": " + versions[v] + " on ") +
             std::to_string(n) + "</title></rect>";
    }
    if (days.size() <= 14 || d % ((days.size() + 13) / 14) == 0) {
      svg += "<text x=\"" + Num(x + barW / 2) + "\" y=\"" + Num(height - 12) + "\" text-anchor=\"middle\" class=\"axis\">" +
             EscapeHtml(days[d].substr(5)) + "</text>";
    }
  }
  svg += "</svg><div class=\"legend\">";
  for (std::size_t v = 0; v < versions.size(); ++v) {
    svg += "<span><i style=\"background:" + std::string(Colour(v)) + "\"></i>" + EscapeHtml(versions[v]) + "</span>";
  }
  return svg + "</div>";
}

// A table of values with a bar for each count.
std::string CountTable(const CountedValues& values, const char* what, const char* unit) {
  if (values.empty()) return "<p class=\"empty\">Nothing yet.</p>";
  std::int64_t top = 1;
  for (const auto& [value, n] : values) top = std::max(top, n);
  std::string html = std::string("<table><tr><th>") + what + "</th><th>" + unit + "</th><th></th></tr>";
  for (const auto& [value, n] : values) {
    html += "<tr><td>" + EscapeHtml(value.empty() ? "(empty)" : value) + "</td><td class=\"n\">" + std::to_string(n) +
            "</td><td><div class=\"bar\" style=\"width:" + Num(160.0 * static_cast<double>(n) / static_cast<double>(top)) +
            "px\"></div></td></tr>";
  }
  return html + "</table>";
}

}  // namespace

std::string EscapeHtml(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default: out += c;
    }
  }
  return out;
}

std::string LoadReport(CheckinStore& store, int days, std::int64_t now, ReportData& data) {
  const std::string since = IsoUtc(now - std::int64_t{days} * 86400).substr(0, 10);
  TextRows rows;
  if (std::string error = store.Select("SELECT COUNT(*) FROM checkins", rows); !error.empty()) return error;
  data.checkins = rows.empty() ? 0 : std::stoll(rows[0].at(0));
  std::string error = CountedQuery(
      store, "SELECT COALESCE(app_ver, ''), COUNT(*) FROM installations GROUP BY app_ver ORDER BY COUNT(*) DESC, app_ver",
      data.byVersion);
  if (error.empty()) {
    error = CountedQuery(store,
                         "SELECT COALESCE(doc_shell_app || ' ' || doc_shell_ver, '(no full profile)') AS suite, "
                         "COUNT(*) FROM installations GROUP BY suite ORDER BY COUNT(*) DESC, suite",
                         data.byDocumentProgram);
  }
  if (error.empty()) {
    error = CountedQuery(store,
                         "SELECT substr(time, 1, 10) AS day, COUNT(*) FROM checkins WHERE time >= '" + since +
                             "' GROUP BY day ORDER BY day",
                         data.checkinsPerDay);
  }
  if (error.empty()) {
    rows.clear();
    error = store.Select(
        "SELECT substr(time, 1, 10) AS day, COALESCE(app_ver, ''), COUNT(DISTINCT COALESCE(uuid, remote_addr)) "
        "FROM checkins WHERE time >= '" + since + "' GROUP BY day, app_ver ORDER BY day, app_ver",
        rows);
    for (const auto& row : rows) data.versionsByDay.push_back({row.at(0), row.at(1), std::stoll(row.at(2))});
  }
  return error;
}

void WriteTextReport(const ReportData& data, std::ostream& out) {
  const auto print = [&out](const char* title, const CountedValues& values) {
    out << title << "\n";
    // Values came from clients: escaped as in the request log, so none can send
    // controls to the vendor's terminal.
    for (const auto& [value, count] : values) {
      out << "  " << (value.empty() ? "(empty)" : EscapeForLog(value)) << "\t" << count << "\n";
    }
  };
  out << "check-ins: " << data.checkins << "\n";
  print("installations by version:", data.byVersion);
  print("installations by document program:", data.byDocumentProgram);
  print("check-ins per day:", data.checkinsPerDay);
}

std::string HtmlReport(const ReportData& data, const std::string& title, std::int64_t now) {
  std::int64_t installations = 0;
  for (const auto& [value, n] : data.byVersion) installations += n;
  std::string html = R"(<!DOCTYPE html>
<html lang="en"><head><meta charset="utf-8"><title>)" + EscapeHtml(title) + R"(</title>
<style>
body{font-family:system-ui,-apple-system,"Segoe UI",sans-serif;margin:24px 32px;color:#222;background:#fafafa}
h1{font-size:22px;margin:0 0 4px}h2{font-size:16px;margin:14px 0 10px}
.sub{color:#666;font-size:13px}.cards{display:flex;gap:16px;margin:18px 0}
.card{background:#fff;border:1px solid #e3e3e3;border-radius:6px;padding:10px 16px;min-width:150px}
.card b{display:block;font-size:24px}.card span{color:#666;font-size:12px}
section{background:#fff;border:1px solid #e3e3e3;border-radius:6px;padding:6px 16px 14px;margin-bottom:16px}
table{border-collapse:collapse;font-size:13px}td,th{padding:3px 12px 3px 0;text-align:left;white-space:nowrap}
td.n{text-align:right;font-variant-numeric:tabular-nums}.bar{height:10px;background:#4e79a7;border-radius:2px}
.axis{font-size:11px;fill:#666}.legend{font-size:12px;margin-top:6px}.legend span{margin-right:14px}
.legend i{display:inline-block;width:10px;height:10px;margin-right:4px;border-radius:2px}
.empty{color:#888;font-style:italic}.cols{display:flex;gap:16px}.cols section{flex:1;min-width:0;overflow:hidden}
</style></head><body>
<h1>)" + EscapeHtml(title) + R"(</h1><div class="sub">Generated )" + IsoUtc(now) + R"( from the check-in store.</div>
<div class="cards"><div class="card"><b>)" + std::to_string(installations) + R"(</b><span>installations</span></div>
<div class="card"><b>)" + std::to_string(data.checkins) + R"(</b><span>check-ins kept</span></div>
<div class="card"><b>)" + std::to_string(data.byVersion.size()) + R"(</b><span>versions in use</span></div></div>
<section><h2>Installations by version, day by day</h2>)" + VersionChart(data) + R"(</section>
<div class="cols"><section><h2>Installations by version now</h2>)" +
                     CountTable(data.byVersion, "version", "installations") +
                     R"(</section><section><h2>Document programs</h2>)" +
                     CountTable(data.byDocumentProgram, "program and version", "installations") + R"(</section></div>
<section><h2>Check-ins per day</h2>)" + CountTable(data.checkinsPerDay, "day", "check-ins") + R"(</section>
</body></html>
)";
  return html;
}

}  // namespace zel::svc
