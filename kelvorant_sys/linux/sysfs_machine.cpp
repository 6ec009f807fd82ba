#include "linux/sysfs_machine.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "core/pci_regs.h"
#include "core/restore_plan.h"
#include "host/host_files.h"

namespace kvsys {

namespace {

// Parses a sysfs entry name "DDDD:BB:DD.F".
bool ParseEntryName(const char *name, PciAddress *address) {
  std::string why;
  return ParsePciAddress(name, address, &why) && address->has_domain;
}

template <typename Visit>
bool ListFunctions(const std::string &root, Visit visit, std::string *why) {
  DIR *dir = opendir(root.c_str());
  if (!dir) {
    if (why) *why = "cannot list " + root + ": " + std::strerror(errno);
    return false;
  }
  while (const dirent *entry = readdir(dir)) {
    PciAddress address;
    if (ParseEntryName(entry->d_name, &address) && !visit(address)) break;
  }
  closedir(dir);
  return true;
}

// Opens a function's config file. A function's folder may be a link, as every entry of the kernel's own
// /sys/bus/pci/devices is, but the file itself must be the regular file that sysfs gives: a link in its
// place would send reads and writes of configuration space to whatever file it names, and a FIFO would
// never answer. -1 with errno (ENOENT: no such function) otherwise.
int OpenConfig(const std::string &path, int access) {
  const int fd = open(path.c_str(), access | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == EISDIR) errno = EINVAL;
    return -1;
  }
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    errno = EINVAL;
    return -1;
  }
  return fd;
}

// Reads up to `length` bytes at `offset`; returns how many were read, or -1 with errno.
ssize_t ReadAt(int fd, uint8_t *out, size_t length, off_t offset) {
  size_t done = 0;
  while (done < length) {
    const ssize_t n = pread(fd, out + done, length - done, offset + static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return done ? static_cast<ssize_t>(done) : -1;
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  return static_cast<ssize_t>(done);
}

class SysfsMachine final : public Machine {
 public:
  explicit SysfsMachine(const SysfsOptions &options) : options_(options), present_(kFunctionCount, false) {}

  bool List(std::string *why, SysfsListing *listing) {
    return ListFunctions(
        options_.root,
        [this, listing](const PciAddress &a) {
          if (a.domain == options_.domain) {
            present_[a.Index()] = true;
            listing->any_served = true;
          } else if (std::find(listing->other_domains.begin(), listing->other_domains.end(), a.domain) ==
                     listing->other_domains.end()) {
            listing->other_domains.push_back(a.domain);
          }
          return true;
        },
        why);
  }

  Access Read(FunctionIndex fn, unsigned offset, unsigned length, uint8_t *out) override {
    std::memset(out, 0xff, length);
    if (!present_[fn]) return Access::kAbsent;
    const int fd = OpenConfig(ConfigPath(fn), O_RDONLY);
    if (fd < 0) return Refused(fn);
    // The kernel gives an unprivileged reader only the first 64 bytes, and a function without extended
    // space 256: what is not read stays 0xFF, as the bus answers for registers that do not exist.
    const ssize_t n = ReadAt(fd, out, length, offset);
    close(fd);
    return n < 0 ? Access::kFailed : Access::kDone;
  }

  Access Write(FunctionIndex fn, unsigned offset, unsigned length, const uint8_t *data) override {
    if (!present_[fn]) return Access::kAbsent;
    const int fd = OpenConfig(ConfigPath(fn), O_RDWR);
    if (fd < 0) return Refused(fn);
    std::vector<uint8_t> present(length, 0xff);
    const ssize_t known = ReadAt(fd, present.data(), length, offset);
    Access result = known < 0 ? Access::kFailed : Access::kDone;
    if (known > 0) {
      for (const RegisterWrite &w : PlanRestoreWrites(offset, length, present.data(), static_cast<unsigned>(known), data)) {
        if (options_.on_write) options_.on_write(fn, w.offset, w.width);
        const ssize_t n = pwrite(fd, data + (w.offset - offset), w.width, w.offset);
        if (n != static_cast<ssize_t>(w.width)) {
          result = Access::kFailed;
          break;
        }
      }
    }
    close(fd);
    return result;
  }

  ControlResult Control(std::string_view, std::string *why) override {
    *why = "the sysfs machine has no test port";
    return ControlResult::kUnsupported;
  }

 private:
  // The answer for a config file that could not be opened (errno tells why); a file that is not what
  // sysfs gives is said once.
  Access Refused(FunctionIndex fn) {
    const int error = errno;
    if (error == ENOENT) return Access::kAbsent;
    struct stat st;
    const std::string path = ConfigPath(fn);
    if ((error == ELOOP || error == EINVAL) && options_.warn && !warned_[fn] && lstat(path.c_str(), &st) == 0) {
      warned_[fn] = true;
      options_.warn(path + " is " + kvhost::DescribeFileType(st.st_mode) +
                    ", not the regular file that sysfs gives; it is neither read nor written");
    }
    return Access::kFailed;
  }

  std::string ConfigPath(FunctionIndex fn) const {
    const PciAddress a = AddressOfIndex(options_.domain, fn);
    char name[48];
    std::snprintf(name, sizeof name, "/%04x:%02x:%02x.%x/config", a.domain, a.bus, a.device, a.function);
    return options_.root + name;
  }

  SysfsOptions options_;
  std::vector<bool> present_;  // by function index, from the one listing at start
  std::vector<bool> warned_ = std::vector<bool>(kFunctionCount, false);
};

}  // namespace

std::unique_ptr<Machine> OpenSysfsMachine(const SysfsOptions &options, std::string *why, SysfsListing *listing) {
  auto machine = std::make_unique<SysfsMachine>(options);
  SysfsListing ignored;
  if (!machine->List(why, listing ? listing : &ignored)) return nullptr;
  if (listing) std::sort(listing->other_domains.begin(), listing->other_domains.end());
  return machine;
}

bool SysfsListsAnyFunction(const std::string &root) {
  bool any = false;
  ListFunctions(
      root,
      [&any](const PciAddress &) {
        any = true;
        return false;
      },
      nullptr);
  return any;
}

}  // namespace kvsys
