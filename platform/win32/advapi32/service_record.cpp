#include "service_record.h"

#include <nlohmann/json.hpp>
#include <limits>
#include <stdexcept>
#include <utility>

namespace kvplat {

namespace {

// A field that must be a whole number its type holds. nlohmann's get<T>() casts whatever number it finds,
// and a cast of 1e27 or -1 to an unsigned field is out of range (undefined for a floating-point value).
template <typename T>
T Whole(const nlohmann::json &record, const char *key) {
  const nlohmann::json &value = record.at(key);
  if (value.is_number_unsigned() && std::in_range<T>(value.get<uint64_t>())) return static_cast<T>(value.get<uint64_t>());
  if (value.is_number_integer() && !value.is_number_unsigned() && std::in_range<T>(value.get<int64_t>()))
    return static_cast<T>(value.get<int64_t>());
  throw std::runtime_error(std::string(key) + " is not a whole number from " + std::to_string(std::numeric_limits<T>::min()) +
                           " to " + std::to_string(std::numeric_limits<T>::max()));
}

}  // namespace

std::string ServiceRecordText(const ServiceRecord &r) {
  return nlohmann::json{{"id", r.id},
                        {"name", r.name},
                        {"displayName", r.displayName},
                        {"serviceType", r.serviceType},
                        {"startType", r.startType},
                        {"errorControl", r.errorControl},
                        {"binaryPath", r.binaryPath},
                        {"state", r.running ? "running" : "stopped"},
                        {"starterPid", r.starter.pid},
                        {"starterStartTime", r.starter.startTime},
                        {"exitCode", r.exitCode},
                        {"markedForDelete", r.markedForDelete}}
             .dump(2) +
         "\n";
}

ServiceRecord ParseServiceRecord(const std::string &text) {
  const nlohmann::json j = nlohmann::json::parse(text);
  ServiceRecord r;
  r.id = j.at("id").get<std::string>();
  r.name = j.at("name").get<std::string>();
  r.displayName = j.at("displayName").get<std::string>();
  r.serviceType = Whole<DWORD>(j, "serviceType");
  r.startType = Whole<DWORD>(j, "startType");
  r.errorControl = Whole<DWORD>(j, "errorControl");
  r.binaryPath = j.at("binaryPath").get<std::string>();
  const std::string state = j.at("state").get<std::string>();
  if (state != "running" && state != "stopped") throw std::runtime_error("unknown state \"" + state + "\"");
  r.running = state == "running";
  r.starter.pid = Whole<int>(j, "starterPid");
  r.starter.startTime = Whole<uint64_t>(j, "starterStartTime");
  r.exitCode = Whole<DWORD>(j, "exitCode");
  r.markedForDelete = j.at("markedForDelete").get<bool>();
  return r;
}

}  // namespace kvplat
