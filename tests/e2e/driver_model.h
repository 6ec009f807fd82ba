// The requests that kelvorant should send to a machine file, as trace lines: what KELVORANT.sys answers for
// each function of the file (present or not, plugged or not) and its fault rules, counted the way the driver
// counts them. Tests build the whole expected trace of a run from it and compare it with the real one.
#pragma once
#include <cstdint>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <vector>

#include "harness.h"

namespace kvtest {

// A function's address as the program keys it: bus << 16 | device << 8 | function.
inline uint32_t Key(unsigned bus, unsigned device, unsigned function) { return bus << 16 | device << 8 | function; }

// "bb:dd.f", as the trace and the machine files write addresses.
inline std::string Bdf(uint32_t key) {
  char text[16];
  std::snprintf(text, sizeof text, "%02x:%02x.%x", key >> 16, (key >> 8) & 0xff, key & 0xff);
  return text;
}

inline uint32_t ParseBdf(const std::string &bdf) {
  unsigned bus = 0, device = 0, function = 0;
  std::sscanf(bdf.c_str(), "%x:%x.%x", &bus, &device, &function);
  return Key(bus, device, function);
}

inline nlohmann::json ReadMachineFile(const std::string &name) {
  return nlohmann::json::parse(ReadText(DataDir() / "machines" / name));
}

class DriverModel {
 public:
  static constexpr const char *kReadConfig = "IOCTL_READ_CONFIG";
  static constexpr const char *kReadExtConfig = "IOCTL_READ_EXT_CONFIG";

  // The functions and fault rules of a machine file without a dump.
  explicit DriverModel(const nlohmann::json &machine) {
    for (const auto &f : machine.value("functions", nlohmann::json::array())) present_.insert(ParseBdf(f["address"]));
    for (const auto &f : machine.value("faults", nlohmann::json::array())) {
      Fault fault;
      fault.request = f["request"];
      fault.key = ParseBdf(f["address"]);
      fault.skip = f.value("skip", 0u);
      fault.times = f.contains("times") ? f["times"].get<int>() : -1;
      fault.error = f.value("error", 0u);
      fault.returned = f.contains("returned") ? f["returned"].get<int>() : -1;
      fault.status = f.contains("status") ? f["status"].get<int>() : -1;
      faults_.push_back(fault);
    }
  }

  // `machine unplug` / `machine plug`.
  void SetPlugged(uint32_t key, bool plugged) {
    if (plugged)
      unplugged_.erase(key);
    else
      unplugged_.insert(key);
  }

  struct Answer {
    std::string line;  // the trace line
    bool failed;       // DeviceIoControl failed or reported a short byte count
    uint32_t status;
  };

  // One read request and how the driver answers it.
  Answer Request(const std::string &request, uint32_t key) {
    const bool extended = request == kReadExtConfig;
    const int size = extended ? 3856 : 272;
    const bool answers = present_.count(key) && !unplugged_.count(key);
    uint32_t status = extended ? (answers ? 0 : 2) : (answers ? 1 : 0);
    int returned = size;
    if (const Fault *fault = Hit(request, key)) {
      if (fault->error) return {request + " " + Bdf(key) + " error=" + std::to_string(fault->error), true, 0};
      if (fault->status >= 0) status = fault->status;
      if (fault->returned >= 0) returned = fault->returned;
    }
    return {request + " " + Bdf(key) + " status=" + std::to_string(status) + " returned=" + std::to_string(returned),
            returned != size, status};
  }

  // The probes of one bus scan: function 0 of every device of every bus, and further functions of a device
  // while the previous one answered; the scan ends at the first failed request.
  std::vector<std::string> Scan() {
    std::vector<std::string> lines;
    for (unsigned bus = 0; bus < 256; ++bus)
      for (unsigned device = 0; device < 32; ++device)
        for (unsigned function = 0; function < 8; ++function) {
          Answer answer = Request(kReadConfig, Key(bus, device, function));
          lines.push_back(answer.line);
          if (answer.failed) return lines;
          if (answer.status == 0 || answer.status == 2) break;
        }
    return lines;
  }

  // The requests of the register view showing a function: the standard read, and the extended one for a
  // PCI Express function whose standard read succeeded.
  std::vector<std::string> Show(uint32_t key, bool pciExpress) {
    Answer config = Request(kReadConfig, key);
    if (config.failed || config.status == 0 || config.status == 2 || !pciExpress) return {config.line};
    return {config.line, Request(kReadExtConfig, key).line};
  }

 private:
  struct Fault {
    std::string request;
    uint32_t key;
    unsigned skip;
    int times;  // -1: every request after the skipped ones
    unsigned error;
    int returned, status;  // -1: as the driver would answer
    unsigned seen = 0;
  };

  // Every rule of the request's kind and address counts the request; the first rule in the file that hits
  // decides.
  const Fault *Hit(const std::string &request, uint32_t key) {
    const Fault *decides = nullptr;
    for (Fault &f : faults_) {
      if (f.request != request || f.key != key) continue;
      const unsigned n = f.seen++;
      const bool hit = n >= f.skip && (f.times < 0 || n - f.skip < static_cast<unsigned>(f.times));
      if (hit && !decides) decides = &f;
    }
    return decides;
  }

  std::set<uint32_t> present_, unplugged_;
  std::vector<Fault> faults_;
};

// Lines appended to lines.
inline void Append(std::vector<std::string> &lines, const std::vector<std::string> &more) {
  lines.insert(lines.end(), more.begin(), more.end());
}

}  // namespace kvtest
