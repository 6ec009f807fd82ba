// The HAL's PCI configuration space on Linux: HalGetBusDataByOffset and HalSetBusDataByOffset over a folder
// laid out like /sys/bus/pci/devices, one PCI domain of it (kvplat/hal.h). The folder is listed once: a
// function that appears later is not seen. A bus exists when the listing holds a function on it; an empty
// slot answers 2 bytes of vendor ID 0xFFFF; a function's bytes are what its config file gives (64 for an
// unprivileged reader, 256 without extended space).
//
// A function's folder may be a link, as every entry of the kernel's own /sys/bus/pci/devices is, but its
// config file must be the regular file that sysfs gives: a link in its place would send reads and writes of
// configuration space to whatever file it names, and a FIFO would never answer. Such a file is neither read
// nor written (0 bytes), after one line for each function.
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include <ddk/ntddk.h>

#include "core/pci_address.h"
#include "host/host_files.h"
#include "kvplat/diag.h"
#include "kvplat/hal.h"

namespace kvplat {

namespace {

constexpr unsigned kBuses = 256;

struct PciBuses {
  std::mutex mutex;
  std::string root;  // "": no PCI buses
  uint32_t domain = 0;
  bool listed = false;
  std::vector<bool> present = std::vector<bool>(kvsys::kFunctionCount);  // by function index
  std::vector<bool> refused = std::vector<bool>(kvsys::kFunctionCount);  // said once
  std::vector<bool> buses = std::vector<bool>(kBuses);
};

PciBuses &Buses() {
  static PciBuses *buses = new PciBuses;  // reached by drivers until the last is gone
  return *buses;
}

std::string Domain(uint32_t domain) {
  char text[8];
  std::snprintf(text, sizeof text, "%04x", domain);
  return text;
}

// The image name of the driver whose code called the HAL (at `returnAddress`), which the HAL's lines begin
// with: "KELVORANT.sys".
std::string CallerName(const void *returnAddress) {
  Dl_info info{};
  if (!::dladdr(returnAddress, &info) || !info.dli_fname) return "hal.dll";
  const char *slash = std::strrchr(info.dli_fname, '/');
  return slash ? slash + 1 : info.dli_fname;
}

// Calls visit with every function of the folder ("DDDD:BB:DD.F"); false with the reason when it cannot be
// listed.
template <typename Visit>
bool ListFunctions(const std::string &root, Visit visit, std::string *why) {
  DIR *dir = ::opendir(root.c_str());
  if (!dir) {
    *why = "cannot list " + root + ": " + std::strerror(errno);
    return false;
  }
  while (const dirent *entry = ::readdir(dir)) {
    kvsys::PciAddress address;
    std::string ignored;
    if (kvsys::ParsePciAddress(entry->d_name, &address, &ignored) && address.has_domain && !visit(address)) break;
  }
  ::closedir(dir);
  return true;
}

// Lists the folder the first time a routine needs it; says what is missing when it holds no function of
// the served domain.
void List(PciBuses &buses, const void *caller) {
  if (buses.listed) return;
  buses.listed = true;
  if (buses.root.empty()) return;
  std::vector<uint32_t> others;
  std::string why;
  const bool listed = ListFunctions(
      buses.root,
      [&](const kvsys::PciAddress &a) {
        if (a.domain == buses.domain) {
          buses.present[a.Index()] = true;
          buses.buses[a.bus] = true;
        } else if (std::find(others.begin(), others.end(), a.domain) == others.end()) {
          others.push_back(a.domain);
        }
        return true;
      },
      &why);
  if (!listed) {
    Diag("%s: %s", CallerName(caller).c_str(), why.c_str());
    return;
  }
  if (std::find(buses.buses.begin(), buses.buses.end(), true) != buses.buses.end()) return;
  std::string line = buses.root + " lists no PCI function of domain " + Domain(buses.domain);
  if (!others.empty()) {
    std::sort(others.begin(), others.end());
    std::string list;
    for (size_t i = 0; i < others.size(); ++i) list += (i ? ", " : "") + Domain(others[i]);
    line += std::string(" (it lists functions of domain") + (others.size() > 1 ? "s " : " ") + list + ": add @" +
            Domain(others[0]) + " to the path)";
  }
  Diag("%s: %s", CallerName(caller).c_str(), line.c_str());
}

// A function's config file, opened without following a link and checked to be regular; -1 otherwise, after
// the line that says so (once for each function).
int OpenConfig(PciBuses &buses, uint16_t index, int access, const void *caller) {
  const kvsys::PciAddress a = kvsys::AddressOfIndex(buses.domain, index);
  char name[48];
  std::snprintf(name, sizeof name, "/%04x:%02x:%02x.%x/config", a.domain, a.bus, a.device, a.function);
  const std::string path = buses.root + name;
  const int fd = ::open(path.c_str(), access | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  struct stat st;
  if (fd >= 0 && ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) return fd;
  if (fd >= 0) ::close(fd);
  // What is there, when it is there (a function gone since the listing is just absent).
  if (::lstat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !buses.refused[index]) {
    buses.refused[index] = true;
    Diag("%s: %s is %s, not the regular file that sysfs gives; it is neither read nor written", CallerName(caller).c_str(),
         path.c_str(), kvhost::DescribeFileType(st.st_mode).c_str());
  }
  return -1;
}

// What both routines do first, under the lock: the folder listed, and the function at bus and slot, when
// the listing holds it. False for a bus that does not exist (or is not PCI's).
bool Locate(PciBuses &buses, BUS_DATA_TYPE type, const char *routine, const void *caller, ULONG bus, ULONG slot,
            uint16_t *index, bool *present) {
  if (type != PCIConfiguration) {
    ReportUnimplemented((std::string(routine) + " of another bus than PCI").c_str());
    return false;
  }
  List(buses, caller);
  if (bus >= kBuses || !buses.buses[bus]) return false;
  *index = static_cast<uint16_t>(bus << 8 | (slot & 0x1f) << 3 | (slot >> 5 & 7));
  *present = buses.present[*index];
  return true;
}

}  // namespace

void ConfigureHalBuses(const std::string &root, uint32_t domain) {
  PciBuses &buses = Buses();
  std::lock_guard<std::mutex> lock(buses.mutex);
  if (buses.listed && buses.root == root && buses.domain == domain) return;  // listed once
  buses.root = root;
  buses.domain = domain;
  buses.listed = false;
  std::fill(buses.present.begin(), buses.present.end(), false);
  std::fill(buses.refused.begin(), buses.refused.end(), false);
  std::fill(buses.buses.begin(), buses.buses.end(), false);
}

bool SysfsListsAnyFunction(const std::string &root) {
  bool any = false;
  std::string ignored;
  ListFunctions(
      root,
      [&any](const kvsys::PciAddress &) {
        any = true;
        return false;
      },
      &ignored);
  return any;
}

}  // namespace kvplat

using namespace kvplat;

extern "C" ULONG HalGetBusDataByOffset(BUS_DATA_TYPE busDataType, ULONG busNumber, ULONG slotNumber, PVOID buffer,
                                       ULONG offset, ULONG length) {
  PciBuses &buses = Buses();
  std::lock_guard<std::mutex> lock(buses.mutex);
  const void *caller = __builtin_return_address(0);
  uint16_t index = 0;
  bool present = false;
  if (!Locate(buses, busDataType, "HalGetBusDataByOffset", caller, busNumber, slotNumber, &index, &present)) return 0;
  auto *out = static_cast<unsigned char *>(buffer);
  if (!present) {
    // An empty slot: the vendor ID reads 0xFFFF.
    const ULONG end = std::min<ULONG>(offset + length, 2);
    if (offset >= end) return 0;
    std::memset(out, 0xff, end - offset);
    return end - offset;
  }
  const int fd = OpenConfig(buses, index, O_RDONLY, caller);
  if (fd < 0) return 0;
  ULONG done = 0;
  while (done < length) {
    const ssize_t n = ::pread(fd, out + done, length - done, static_cast<off_t>(offset) + done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<ULONG>(n);
  }
  ::close(fd);
  return done;
}

extern "C" ULONG HalSetBusDataByOffset(BUS_DATA_TYPE busDataType, ULONG busNumber, ULONG slotNumber, PVOID buffer,
                                       ULONG offset, ULONG length) {
  PciBuses &buses = Buses();
  std::lock_guard<std::mutex> lock(buses.mutex);
  const void *caller = __builtin_return_address(0);
  uint16_t index = 0;
  bool present = false;
  if (!Locate(buses, busDataType, "HalSetBusDataByOffset", caller, busNumber, slotNumber, &index, &present) || !present)
    return 0;
  const int fd = OpenConfig(buses, index, O_WRONLY, caller);
  if (fd < 0) return 0;
  // One write: the kernel writes a register as a whole when it is given whole. A write that a signal cut
  // before it wrote anything is made again, or a restore would lose the register without a word.
  ssize_t n = 0;
  do {
    n = ::pwrite(fd, buffer, length, offset);
  } while (n < 0 && errno == EINTR);
  ::close(fd);
  return n > 0 ? static_cast<ULONG>(n) : 0;
}
