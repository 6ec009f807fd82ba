// The HAL's PCI configuration space on Linux: HalGetBusDataByOffset and HalSetBusDataByOffset over a folder
// laid out like /sys/bus/pci/devices, one PCI domain of it (kvplat/kernel.h). The folder is listed once, and
// every function's config file is opened then, through the host's one opener, and kept open: so a process
// that started as root can go on as the user it runs for. A function that appears later is not seen. One
// that the kernel removes later (its open file says ENODEV) answers as absent; a process that still has the
// rights it opened the files with opens the file again at each request, so that a function the kernel adds
// back (an FPGA's hot-plug slot) answers again. A bus exists when the listing holds a function on it; an
// empty slot answers 2 bytes of vendor ID 0xFFFF; a function's bytes are what its config file gives (64 for
// an unprivileged reader, 256 without extended space). A function's folder may be a link, as in the
// kernel's own folder, but its config file must be the regular file that sysfs gives, in folders no other
// user can change: anything else is neither read nor written (0 bytes), after one line for the function.
#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/select.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <bitset>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include <ddk/ntddk.h>

#include "host/opener.h"
#include "kvplat/diag.h"
#include "kvplat/kernel.h"
#include "kvplat/lock.h"

namespace kvplat {

namespace {

constexpr unsigned kBuses = 256;
constexpr long kSysfsMagic = 0x62656572;  // SYSFS_MAGIC, linux/magic.h
// Descriptors the rest of the process may need besides the functions' (outputs, the service database, the
// driver, the window library and the display).
constexpr rlim_t kOtherDescriptors = 64;

enum class Function : uint8_t { kOpen, kRefused, kGone };

// A function that the listing holds.
struct FunctionFile {
  int fd = -1;
  Function state = Function::kOpen;
  bool said = false;  // its removal, since it was last open
  dev_t dev = 0;      // the open file's identity, which no output of the run may have
  ino_t ino = 0;
  bool writeSaid = false;  // why a write failed, once
};

struct PciBuses {
  Lock mutex;
  std::string root;  // "": no PCI buses
  uint32_t domain = 0;
  bool listed = false;
  std::unordered_map<uint16_t, FunctionFile> functions;  // by function index: a machine has few of its 65,536
  std::bitset<kBuses> buses;
  std::vector<std::string> pending;  // lines of the listing, said at the first call of a driver
  uid_t listedAs = 0;                 // the effective user that opened the files

  void Close() {
    for (const auto &[index, file] : functions)
      if (file.fd >= 0) ::close(file.fd);
    functions.clear();
    buses.reset();
    pending.clear();
    listed = false;
  }
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

// A function that the folder lists: its domain, and bus << 8 | device << 3 | function.
struct ListedFunction {
  uint32_t domain;
  uint16_t index;
};

std::string FunctionName(uint32_t domain, uint16_t index) {
  char name[24];
  std::snprintf(name, sizeof name, "%04x:%02x:%02x.%x", domain, index >> 8, index >> 3 & 0x1f, index & 7);
  return name;
}

// A function's folder is named as FunctionName names it, as Linux does ("0000:00:1f.3"; a domain above ffff
// has a fifth digit); any other entry is no function.
bool ParseFunctionName(std::string_view name, ListedFunction *out) {
  uint32_t fields[4] = {};  // domain, bus, device, function
  const char *at = name.data(), *end = at + name.size();
  for (size_t i = 0; i < 4; ++i) {
    const auto [next, error] = std::from_chars(at, end, fields[i], 16);
    if (error != std::errc()) return false;
    at = next;
    if (i < 3 && (at == end || *at++ != "::."[i])) return false;
  }
  if (fields[1] > 0xff || fields[2] > 0x1f || fields[3] > 7) return false;
  *out = {fields[0], static_cast<uint16_t>(fields[1] << 8 | fields[2] << 3 | fields[3])};
  return FunctionName(out->domain, out->index) == name;  // Linux's spelling only: its widths, lower case
}

std::string ConfigPath(const PciBuses &buses, uint16_t index) {
  return buses.root + "/" + FunctionName(buses.domain, index) + "/config";
}

// The functions of the folder ("DDDD:BB:DD.F"), in address order; the folder stays open in *folder, for
// the functions' files to be opened from it.
bool ListFunctions(const std::string &root, bool mustBeSysfs, kvhost::ResolvedFolder *folder,
                   std::vector<ListedFunction> *functions, std::string *why) {
  kvhost::OpenFailure failure;
  if (!folder->Open(root, &failure)) {
    const bool plainError = failure.error && !failure.untrusted && !failure.type;
    *why = "cannot list " + root + ": " + (plainError ? kvhost::ErrnoReason(failure.error) : "it " + failure.why);
    return false;
  }
  struct statfs fs;
  if (mustBeSysfs && (::fstatfs(folder->fd(), &fs) != 0 || fs.f_type != kSysfsMagic)) {
    *why = root + " is not on the kernel's sysfs: this computer's configuration space is not served from it";
    return false;
  }
  DIR *dir = ::fdopendir(::fcntl(folder->fd(), F_DUPFD_CLOEXEC, 0));
  if (!dir) {
    *why = "cannot list " + root + ": " + kvhost::ErrnoReason(errno);
    return false;
  }
  while (const dirent *entry = ::readdir(dir)) {
    ListedFunction function;
    if (ParseFunctionName(entry->d_name, &function)) functions->push_back(function);
  }
  ::closedir(dir);
  // In address order, whatever order the folder keeps: the lines about them come in that order.
  std::sort(functions->begin(), functions->end(), [](const ListedFunction &a, const ListedFunction &b) {
    return a.domain != b.domain ? a.domain < b.domain : a.index < b.index;
  });
  return true;
}

// Room for `count` open config files besides the rest of the process, asked of the kernel; a process that
// runs as root may raise its hard limit too. The descriptors are moved above FD_SETSIZE where the room is
// there, so that a library that waits with select() (the display's connection) keeps low numbers. False
// when the room cannot be had.
bool MakeRoomForDescriptors(size_t count, int *lowest, std::string *why) {
  struct rlimit limit;
  ::getrlimit(RLIMIT_NOFILE, &limit);
  const rlim_t needed = count + kOtherDescriptors, high = FD_SETSIZE + needed;
  for (const rlim_t want : {high, needed}) {
    if (limit.rlim_cur >= want) break;
    struct rlimit raised = limit;
    raised.rlim_cur = want;
    if (raised.rlim_max < want) raised.rlim_max = want;  // only root may
    if (::setrlimit(RLIMIT_NOFILE, &raised) == 0) limit = raised;
  }
  if (limit.rlim_cur < needed) {
    *why = "lists " + std::to_string(count) + (count == 1 ? " function" : " functions") +
           ", but this process may have only " + std::to_string(limit.rlim_cur) + " files open (ulimit -n), and needs " +
           std::to_string(needed);
    return false;
  }
  *lowest = limit.rlim_cur >= high ? FD_SETSIZE : 0;
  return true;
}

// Lists the folder and opens every function of the served domain; says what is missing when it holds no
// function of that domain. A folder that cannot be listed serves no function.
bool List(PciBuses &buses, bool mustBeSysfs, std::string *why) {
  buses.listed = true;
  buses.listedAs = ::geteuid();
  if (buses.root.empty()) return true;
  std::vector<ListedFunction> functions;
  kvhost::ResolvedFolder folder;
  if (!ListFunctions(buses.root, mustBeSysfs, &folder, &functions, why)) {
    buses.pending.push_back(*why);
    return false;
  }
  std::vector<uint32_t> others;
  size_t served = 0;
  for (const ListedFunction &a : functions) {
    if (a.domain == buses.domain) ++served;
    else if (others.empty() || others.back() != a.domain) others.push_back(a.domain);  // the listing is sorted
  }
  int lowest = 0;
  if (!MakeRoomForDescriptors(served, &lowest, why)) {
    *why = buses.root + " " + *why;
    buses.pending.push_back(*why);
    return false;
  }
  for (const ListedFunction &a : functions) {
    if (a.domain != buses.domain) continue;
    const std::string path = ConfigPath(buses, a.index);
    kvhost::OpenFailure failure;
    struct stat st;
    kvhost::UniqueFd fd =
        folder.OpenBelow(FunctionName(a.domain, a.index) + "/config", kvhost::OpenFor::kConfig, &failure, &st);
    buses.buses[a.index >> 8] = true;
    if (!fd.valid()) {
      if (failure.error == EMFILE || failure.error == ENFILE) {
        *why = path + ": " + failure.why;
        buses.pending.push_back(*why);
        return false;
      }
      // A function gone between the listing and the open is absent; anything else is said.
      if (failure.error == ENOENT && !failure.missingFolder) continue;
      buses.functions[a.index] = {-1, Function::kRefused};
      const std::string what = failure.type ? "is " + kvhost::DescribeFileType(failure.type) + ", not the regular file that sysfs gives"
                                            : failure.why;
      buses.pending.push_back(path + " " + what + "; it is neither read nor written");
      continue;
    }
    int kept = fd.release();
    if (lowest > 0) {
      const int moved = ::fcntl(kept, F_DUPFD_CLOEXEC, lowest);
      if (moved >= 0) {
        ::close(kept);
        kept = moved;
      }
    }
    buses.functions[a.index] = {kept, Function::kOpen, false, st.st_dev, st.st_ino};
  }
  if (buses.buses.any()) return true;
  std::string line = buses.root + " lists no PCI function of domain " + Domain(buses.domain);
  if (!others.empty()) {
    constexpr size_t kNamed = 8;  // the line names the first few
    std::string list;
    for (size_t i = 0; i < std::min(others.size(), kNamed); ++i) list += (i ? ", " : "") + Domain(others[i]);
    if (others.size() > kNamed) list += " and " + std::to_string(others.size() - kNamed) + " more";
    line += std::string(" (it lists functions of domain") + (others.size() > 1 ? "s " : " ") + list +
            ": end the machine's name in @" + Domain(others[0]) + ")";
  }
  buses.pending.push_back(line);
  return true;
}

// The folder listed, at the first call of a driver, and what the listing found said to it.
[[gnu::cold]] void ListAndSay(PciBuses &buses, const void *caller) {
  if (!buses.listed) {
    std::string ignored;
    List(buses, false, &ignored);
  }
  for (const std::string &line : buses.pending) Diag("%s: %s", ModuleNameAt(caller).c_str(), line.c_str());
  buses.pending.clear();
}

[[gnu::cold]] bool NotPci(const char *routine) {
  ReportUnimplemented((std::string(routine) + " of another bus than PCI").c_str());
  return false;
}

// What both routines do first, under the lock: the folder listed and what it found said, and the function
// at bus and slot. False for a bus that does not exist (or is not PCI's): a scan of empty buses ends here.
inline bool Locate(PciBuses &buses, BUS_DATA_TYPE type, const char *routine, const void *caller, ULONG bus,
                   ULONG slot, uint16_t *index) {
  if (type != PCIConfiguration) return NotPci(routine);
  if (!buses.listed || !buses.pending.empty()) ListAndSay(buses, caller);
  if (bus >= kBuses || !buses.buses[bus]) return false;
  *index = static_cast<uint16_t>(bus << 8 | (slot & 0x1f) << 3 | (slot >> 5 & 7));
  return true;
}

// A function whose file said ENODEV (or that did before): the kernel removed it. Its file is opened again
// where the process may, in case the kernel added it back; false, after one line, while it answers as absent.
bool Recovered(PciBuses &buses, uint16_t index, FunctionFile &file, const void *caller) {
  if (file.state == Function::kOpen) {
    ::close(std::exchange(file.fd, -1));
    file.state = Function::kGone;
    file.said = false;
  }
  const bool reopens = ::geteuid() == buses.listedAs;
  if (reopens) {
    kvhost::OpenFailure failure;
    struct stat st;
    kvhost::UniqueFd fd = kvhost::OpenPath(ConfigPath(buses, index), kvhost::OpenFor::kConfig, &failure, &st);
    if (fd.valid()) {
      file = {fd.release(), Function::kOpen, false, st.st_dev, st.st_ino};
      return true;
    }
  }
  if (!std::exchange(file.said, true)) {
    Diag("%s: %s was removed from %s after kelvorant started, and answers as absent%s", ModuleNameAt(caller).c_str(),
         FunctionName(buses.domain, index).c_str(), buses.root.c_str(),
         reopens ? " until the kernel adds it again" : "; start kelvorant again to see the functions as they are now");
  }
  return false;
}

// The function's file, opened again first when the kernel removed it since; -1 when it has none.
int FileOf(PciBuses &buses, uint16_t index, FunctionFile &file, const void *caller) {
  if (file.state == Function::kGone && !Recovered(buses, index, file, caller)) return -1;
  return file.state == Function::kOpen ? file.fd : -1;
}

// A function's bytes from its file; an empty slot's vendor ID (0xFFFF) when the listing does not hold it
// or the kernel removed it. Out of line, so that a call for an empty bus stays a few instructions.
[[gnu::noinline]] ULONG ReadConfig(PciBuses &buses, uint16_t index, unsigned char *out, ULONG offset, ULONG length, const void *caller) {
  const auto listed = buses.functions.find(index);
  if (listed != buses.functions.end()) {
    FunctionFile &file = listed->second;
    ULONG done = 0;
    bool retried = false;  // once, with the file the kernel added back
    for (int fd = FileOf(buses, index, file, caller); fd >= 0 && done < length;) {
      const ssize_t n = ::pread(fd, out + done, length - done, static_cast<off_t>(offset) + done);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && errno == ENODEV) {
        fd = done == 0 && !std::exchange(retried, true) && Recovered(buses, index, file, caller) ? file.fd : -1;
        continue;
      }
      if (n <= 0) break;
      done += static_cast<ULONG>(n);
    }
    if (file.state == Function::kOpen || done > 0) return done;
    if (file.state == Function::kRefused) return 0;
  }
  const ULONG end = std::min<ULONG>(offset + length, 2);
  if (offset >= end) return 0;
  std::memset(out, 0xff, end - offset);
  return end - offset;
}

// Why a function could not be written, once: the program's box (ReloadDevice:Error) says no more.
void SayUnwritten(const PciBuses &buses, uint16_t index, FunctionFile &file, const void *caller, const std::string &why) {
  if (std::exchange(file.writeSaid, true)) return;
  Diag("%s: %s cannot be written: its config file %s %s", ModuleNameAt(caller).c_str(),
       FunctionName(buses.domain, index).c_str(), ConfigPath(buses, index).c_str(), why.c_str());
}

// One write: the kernel writes a register as a whole when it is given whole. A write that a signal cut
// before it wrote anything is made again, or a restore would lose the register without a word.
ULONG WriteConfig(PciBuses &buses, uint16_t index, const void *data, ULONG offset, ULONG length, const void *caller) {
  const auto listed = buses.functions.find(index);
  if (listed == buses.functions.end()) return 0;
  FunctionFile &file = listed->second;
  ssize_t n = -1;
  bool retried = false;  // once, with the file the kernel added back
  for (int fd = FileOf(buses, index, file, caller); fd >= 0;) {
    // Nothing at or past the file's end, as sysfs refuses it (a regular file of a test's folder would grow).
    struct stat st;
    if (::fstat(fd, &st) == 0 && st.st_size > 0 && uint64_t{offset} + length > static_cast<uint64_t>(st.st_size)) {
      char why[96];
      std::snprintf(why, sizeof why, "holds %lld bytes: the write of %lu at 0x%lx lies past its end",
                    static_cast<long long>(st.st_size), static_cast<unsigned long>(length),
                    static_cast<unsigned long>(offset));
      SayUnwritten(buses, index, file, caller, why);
      return 0;
    }
    n = ::pwrite(fd, data, length, offset);
    if (n >= 0) break;
    const int error = errno;
    if (error == EINTR) continue;
    if (error != ENODEV) {
      SayUnwritten(buses, index, file, caller, error == EBADF ? "is open for reading only: this process may not write it"
                                                                : std::string("refused the write: ") + std::strerror(error));
    }
    fd = error == ENODEV && !std::exchange(retried, true) && Recovered(buses, index, file, caller) ? file.fd : -1;
  }
  return n > 0 ? static_cast<ULONG>(n) : 0;
}

}  // namespace

void ConfigureHalBuses(const std::string &root, uint32_t domain) {
  PciBuses &buses = Buses();
  std::lock_guard lock(buses.mutex);
  if (buses.listed && buses.root == root && buses.domain == domain) return;  // listed once
  buses.Close();
  buses.root = root;
  buses.domain = domain;
}

bool OpenHalBuses(const std::string &root, uint32_t domain, bool mustBeSysfs, std::string *why) {
  PciBuses &buses = Buses();
  std::lock_guard lock(buses.mutex);
  buses.Close();
  buses.root = root;
  buses.domain = domain;
  return List(buses, mustBeSysfs, why);
}

std::string HalFunctionOfFile(const struct stat &st) {
  PciBuses &buses = Buses();
  std::lock_guard lock(buses.mutex);
  for (const auto &[index, file] : buses.functions)
    if (file.state == Function::kOpen && file.dev == st.st_dev && file.ino == st.st_ino)
      return FunctionName(buses.domain, index);
  return "";
}

bool SysfsListsAnyFunction(const std::string &root) {
  std::vector<ListedFunction> functions;
  kvhost::ResolvedFolder folder;
  std::string ignored;
  return ListFunctions(root, false, &folder, &functions, &ignored) && !functions.empty();
}

}  // namespace kvplat

using namespace kvplat;

extern "C" ULONG HalGetBusDataByOffset(BUS_DATA_TYPE busDataType, ULONG busNumber, ULONG slotNumber, PVOID buffer,
                                       ULONG offset, ULONG length) {
  PciBuses &buses = Buses();
  std::lock_guard lock(buses.mutex);
  const void *caller = __builtin_return_address(0);
  uint16_t index = 0;
  if (!Locate(buses, busDataType, "HalGetBusDataByOffset", caller, busNumber, slotNumber, &index)) return 0;
  return ReadConfig(buses, index, static_cast<unsigned char *>(buffer), offset, length, caller);
}

extern "C" ULONG HalSetBusDataByOffset(BUS_DATA_TYPE busDataType, ULONG busNumber, ULONG slotNumber, PVOID buffer,
                                       ULONG offset, ULONG length) {
  PciBuses &buses = Buses();
  std::lock_guard lock(buses.mutex);
  const void *caller = __builtin_return_address(0);
  uint16_t index = 0;
  if (!Locate(buses, busDataType, "HalSetBusDataByOffset", caller, busNumber, slotNumber, &index)) return 0;
  return WriteConfig(buses, index, buffer, offset, length, caller);
}
