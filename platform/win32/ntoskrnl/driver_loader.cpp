// Loading a driver module as StartServiceA does for a kernel driver, and unloading it at its stop. The
// module is code that runs in this process: its file is opened through the host's one opener, and the
// dynamic loader is given that very file, by its descriptor.
#include <dlfcn.h>
#include <elf.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "host/opener.h"
#include "kernel_state.h"
#include "kvplat/diag.h"
#include "kvplat/kernel32.h"

namespace kvplat {

namespace {

constexpr char kEntryName[] = "DriverEntry";

void Forget(KernelState &kernel, const LoadedDriver *gone) {
  std::erase_if(kernel.drivers, [&](const auto &driver) { return driver.get() == gone; });
}

bool ReadAt(int fd, void *buffer, size_t size, off_t offset) {
  return ::pread(fd, buffer, size, offset) == static_cast<ssize_t>(size);
}

// Whether [offset, offset + size) lies inside a file of `fileSize` bytes, without overflowing.
bool Inside(uint64_t offset, uint64_t size, uint64_t fileSize) {
  return offset <= fileSize && size <= fileSize - offset;
}

// What every major function that a driver does not handle answers, as Windows' IopInvalidDeviceRequest.
NTSTATUS InvalidDeviceRequest(PDEVICE_OBJECT, PIRP irp) {
  irp->IoStatus.Status = STATUS_INVALID_DEVICE_REQUEST;
  irp->IoStatus.Information = 0;
  IoCompleteRequest(irp, IO_NO_INCREMENT);
  return STATUS_INVALID_DEVICE_REQUEST;
}

struct ModuleNames {
  Lock mutex;
  std::map<const void *, std::string> byBase;  // a loaded module's base address -> its image's file name
};

ModuleNames &Names() {
  static auto *names = new ModuleNames;  // asked until the process ends
  return *names;
}

std::string FileNameOf(const std::string &path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The module that `address` lies in, by its base address.
const void *ModuleBase(const void *address, std::string *fileName) {
  Dl_info info{};
  if (!::dladdr(address, &info)) return nullptr;
  if (fileName && info.dli_fname) *fileName = FileNameOf(info.dli_fname);
  return info.dli_fbase;
}

// The image whose DriverEntry runs now, for a line should memory run out meanwhile.
std::string &Loading() {
  static auto *loading = new std::string;  // read until the process ends
  return *loading;
}

// Names the module at `base` from now on; "" forgets it.
void NameModule(const void *base, const std::string &name) {
  ModuleNames &names = Names();
  std::lock_guard lock(names.mutex);
  if (name.empty()) {
    names.byBase.erase(base);
  } else {
    names.byBase[base] = name;
  }
}

// Opens the module's file for loading; an error code of StartServiceA when it cannot be had, after a line
// that says why (a missing file is the caller's to report).
DWORD OpenModule(const std::string &path, kvhost::UniqueFd *fd) {
  kvhost::OpenFailure failure;
  *fd = kvhost::OpenPath(path, kvhost::OpenFor::kInput, &failure);
  if (fd->valid()) return ERROR_SUCCESS;
  if (failure.isOutput) {
    Diag("the driver module %s %s: a file that the run writes is never one of its inputs", path.c_str(),
         failure.why.c_str());
    EndRunNow(kExitPlatformFailure);
  }
  if (failure.error == ENOENT) return ERROR_FILE_NOT_FOUND;
  if (failure.type) {
    Diag("%s is not a driver module: %s", path.c_str(), failure.why.c_str());
    return ERROR_BAD_EXE_FORMAT;
  }
  Diag("the driver module %s is not loaded: it %s", path.c_str(), failure.why.c_str());
  if (failure.untrusted) return ERROR_ACCESS_DENIED;
  return failure.error ? Win32ErrorFromErrno(failure.error) : ERROR_ACCESS_DENIED;
}

// False, with the reason in *why, when `fd` is a 64-bit ELF file whose program headers or loadable segments
// reach past its end; anything else is left to the loader, which maps nothing for it.
bool ModuleImageIsWhole(int fd, std::string *why) {
  struct stat st;
  Elf64_Ehdr header;
  if (::fstat(fd, &st) != 0 || !ReadAt(fd, &header, sizeof header, 0)) return true;
  if (std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 || header.e_ident[EI_CLASS] != ELFCLASS64) return true;
  const uint64_t fileSize = static_cast<uint64_t>(st.st_size);
  if (header.e_phentsize != sizeof(Elf64_Phdr) ||
      !Inside(header.e_phoff, uint64_t{header.e_phnum} * sizeof(Elf64_Phdr), fileSize)) {
    *why = "its program headers lie outside the file";
    return false;
  }
  std::vector<Elf64_Phdr> segments(header.e_phnum);
  if (!segments.empty() && !ReadAt(fd, segments.data(), segments.size() * sizeof(Elf64_Phdr),
                                   static_cast<off_t>(header.e_phoff))) {
    *why = "its program headers cannot be read";
    return false;
  }
  for (const Elf64_Phdr &segment : segments) {
    if (segment.p_type == PT_LOAD && !Inside(segment.p_offset, segment.p_filesz, fileSize)) {
      *why = "it is truncated: a loadable segment ends at byte " + std::to_string(segment.p_offset + segment.p_filesz) +
             " of a file of " + std::to_string(fileSize) + " bytes";
      return false;
    }
  }
  return true;
}

}  // namespace

void *LoadModuleFile(int fd, const std::string &path, std::string *why) {
  if (!ModuleImageIsWhole(fd, why)) return nullptr;
  const std::string byDescriptor = "/proc/self/fd/" + std::to_string(fd);
  void *module = ::dlopen(byDescriptor.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (module == nullptr) {
    // The loader names the file as it was given it: the path it was checked under is the one to say.
    *why = ::dlerror() ?: "the dynamic loader refuses it";
    if (why->starts_with(byDescriptor)) why->replace(0, byDescriptor.size(), path);
  }
  return module;
}

LoadedDriver *FindDriver(const std::string &serviceKey) {
  for (auto &driver : Kernel().drivers) {
    if (driver->serviceKey == serviceKey) return driver.get();
  }
  return nullptr;
}


std::string WhatRanOutOfMemory() {
  const std::string &loading = Loading();
  if (loading.empty()) return "for the run";
  const std::string input = LastKernelInput();
  return "while " + loading + " started" + (input.empty() ? "" : ", reading " + input);
}

std::string ModuleNameAt(const void *address) {
  std::string fileName = "?";
  const void *base = ModuleBase(address, &fileName);
  ModuleNames &names = Names();
  std::lock_guard lock(names.mutex);
  const auto it = names.byBase.find(base);
  return it == names.byBase.end() ? fileName : it->second;
}

DWORD LoadDriver(const std::string &serviceName, const std::string &imagePath) {
  KernelState &kernel = Kernel();
  std::lock_guard lock(kernel.mutex);
  const std::string key = FoldCase(serviceName);
  if (FindDriver(key) != nullptr) return ERROR_SERVICE_ALREADY_RUNNING;

  const std::string path = LinuxPath(imagePath.c_str());
  kvhost::UniqueFd file;
  if (const DWORD error = OpenModule(path, &file)) return error;
  std::string why;
  void *module = LoadModuleFile(file.get(), path, &why);
  if (module == nullptr) {
    Diag("%s is not a driver module: %s", path.c_str(), why.c_str());
    return ERROR_BAD_EXE_FORMAT;
  }
  for (auto &driver : kernel.drivers) {
    if (driver->module == module) {  // one image serves one service, as on Windows
      ::dlclose(module);
      return ERROR_SERVICE_ALREADY_RUNNING;
    }
  }
  auto entry = reinterpret_cast<PDRIVER_INITIALIZE>(::dlsym(module, kEntryName));
  if (entry == nullptr) {
    Diag("%s is not a driver module: it has no %s", path.c_str(), kEntryName);
    ::dlclose(module);
    return ERROR_BAD_EXE_FORMAT;
  }

  NameModule(ModuleBase(reinterpret_cast<const void *>(entry), nullptr), FileNameOf(path));

  auto owned = std::make_unique<LoadedDriver>();
  LoadedDriver *driver = owned.get();
  driver->serviceKey = key;
  driver->module = module;
  driver->object.Type = 4;  // IO_TYPE_DRIVER
  driver->object.Size = sizeof(DRIVER_OBJECT);
  for (PDRIVER_DISPATCH &routine : driver->object.MajorFunction) routine = InvalidDeviceRequest;
  driver->registryPath = Utf16Of("\\Registry\\Machine\\System\\CurrentControlSet\\Services\\" + serviceName);
  UNICODE_STRING registryPath;
  registryPath.Buffer = driver->registryPath.data();
  registryPath.Length = registryPath.MaximumLength = static_cast<USHORT>(driver->registryPath.size() * sizeof(WCHAR));
  kernel.drivers.push_back(std::move(owned));  // listed first: DriverEntry creates its devices through it
  ApplyMachineSetting();

  Loading() = FileNameOf(path);
  const NTSTATUS status = entry(&driver->object, &registryPath);
  Loading().clear();
  if (!NT_SUCCESS(status)) {
    // The driver says why on its own. What it created goes with it, so that no routine of an unloaded
    // module stays reachable; DriverUnload is not called for a failed start.
    DeleteDevicesOf(*driver);
    Forget(kernel, driver);
    NameModule(ModuleBase(reinterpret_cast<const void *>(entry), nullptr), "");
    ::dlclose(module);
    return ERROR_GEN_FAILURE;
  }
  // The I/O manager opens the devices made in DriverEntry for use, as Windows does when DriverEntry returns.
  for (DEVICE_OBJECT *device = driver->object.DeviceObject; device; device = device->NextDevice)
    device->Flags &= ~DO_DEVICE_INITIALIZING;
  return ERROR_SUCCESS;
}

bool IsDriverLoaded(const std::string &serviceName) {
  KernelState &kernel = Kernel();
  std::lock_guard lock(kernel.mutex);
  return FindDriver(FoldCase(serviceName)) != nullptr;
}

DWORD UnloadDriver(const std::string &serviceName) {
  KernelState &kernel = Kernel();
  std::lock_guard lock(kernel.mutex);
  LoadedDriver *driver = FindDriver(FoldCase(serviceName));
  if (driver == nullptr) return ERROR_SERVICE_NOT_ACTIVE;
  if (driver->object.DriverUnload == nullptr) return ERROR_INVALID_SERVICE_CONTROL;
  driver->object.DriverUnload(&driver->object);
  DeleteDevicesOf(*driver);  // what the driver left
  void *module = driver->module;
  Forget(kernel, driver);
  NameModule(ModuleBase(::dlsym(module, kEntryName), nullptr), "");
  ::dlclose(module);
  return ERROR_SUCCESS;
}

}  // namespace kvplat
