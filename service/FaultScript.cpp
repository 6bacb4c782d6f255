#include "FaultScript.h"

#include <nlohmann/json.hpp>

namespace zel::svc {

namespace {

using nlohmann::json;

bool IsHeaderName(const std::string& name) {
  if (name.empty()) return false;
  for (unsigned char c : name) {
    if (c <= ' ' || c >= 0x7F || c == ':') return false;
  }
  return true;
}

bool IsHeaderValue(const std::string& value) { return value.find_first_of("\r\n") == std::string::npos; }

std::string ParseFault(const json& item, Fault& fault) {
  if (!item.is_object()) return "a fault must be a JSON object";
  for (const auto& [key, value] : item.items()) {
    if (key == "on") {
      if (value == "update") {
        fault.on = FaultTarget::kUpdate;
      } else if (value == "package") {
        fault.on = FaultTarget::kPackage;
      } else {
        return "\"on\" must be \"update\" or \"package\"";
      }
    } else if (key == "status") {
      if (!value.is_number_integer() || value.get<long long>() < 100 || value.get<long long>() > 599) {
        return "\"status\" must be an integer from 100 to 599";
      }
      fault.status = value.get<int>();
    } else if (key == "body") {
      if (!value.is_string()) return "\"body\" must be a string";
      fault.body = value.get<std::string>();
    } else if (key == "delay_ms") {
      if (!value.is_number_integer() || value.get<long long>() < 0 ||
          value.get<long long>() > kMaxFaultDelayMs) {
        return "\"delay_ms\" must be an integer from 0 to " + std::to_string(kMaxFaultDelayMs);
      }
      fault.delayMs = value.get<int>();
    } else if (key == "drop") {
      if (!value.is_boolean()) return "\"drop\" must be true or false";
      fault.drop = value.get<bool>();
    } else if (key == "omit_headers") {
      if (!value.is_array()) return "\"omit_headers\" must be an array of header names";
      for (const json& name : value) {
        if (!name.is_string() || !IsHeaderName(name.get<std::string>())) {
          return "\"omit_headers\" must be an array of header names";
        }
        fault.omitHeaders.push_back(name.get<std::string>());
      }
    } else if (key == "headers") {
      if (!value.is_array()) return "\"headers\" must be an array of [name, value] pairs";
      for (const json& pair : value) {
        if (!pair.is_array() || pair.size() != 2 || !pair[0].is_string() || !pair[1].is_string() ||
            !IsHeaderName(pair[0].get<std::string>()) || !IsHeaderValue(pair[1].get<std::string>())) {
          return "\"headers\" must be an array of [name, value] pairs";
        }
        fault.headers.emplace_back(pair[0].get<std::string>(), pair[1].get<std::string>());
      }
    } else {
      return "unknown fault member \"" + key + "\"";
    }
  }
  return {};
}

}  // namespace

std::string ParseFaults(std::string_view jsonText, std::vector<Fault>& faults) {
  faults.clear();
  json doc = json::parse(jsonText, nullptr, false);
  if (doc.is_discarded()) return "faults are not valid JSON";
  if (!doc.is_array()) return "faults must be a JSON array";
  for (const json& item : doc) {
    Fault fault;
    if (std::string error = ParseFault(item, fault); !error.empty()) {
      error = "fault " + std::to_string(faults.size() + 1) + ": " + error;
      faults.clear();
      return error;
    }
    faults.push_back(std::move(fault));
  }
  return {};
}

void FaultScript::Append(std::vector<Fault> faults) {
  std::lock_guard lock(mutex_);
  for (auto& f : faults) (f.on == FaultTarget::kUpdate ? update_ : package_).push_back(std::move(f));
}

std::optional<Fault> FaultScript::Next(FaultTarget target) {
  std::lock_guard lock(mutex_);
  auto& queue = target == FaultTarget::kUpdate ? update_ : package_;
  if (queue.empty()) return std::nullopt;
  Fault fault = std::move(queue.front());
  queue.pop_front();
  return fault;
}

void FaultScript::Clear() {
  std::lock_guard lock(mutex_);
  update_.clear();
  package_.clear();
}

}  // namespace zel::svc
