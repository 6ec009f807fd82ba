// What the kernel (platform/win32/ntoskrnl, hal) offers the rest of the platform; what it offers the drivers
// is the DDK (include/ddk/ntddk.h). Drivers run inside this process, as on Windows inside the one kernel: a
// device exists only in the process whose service manager started its driver.
#pragma once
#include <sys/stat.h>
#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

namespace kvplat {

// Loads the driver module at `imagePath` (separators `\` or `/`) as the driver of service `serviceName` and
// runs its DriverEntry with the service key \Registry\Machine\System\CurrentControlSet\Services\<name>.
// Returns 0 or the Win32 error: ERROR_SERVICE_ALREADY_RUNNING when the service's driver is loaded already,
// the file's open error (ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND, ERROR_ACCESS_DENIED),
// ERROR_BAD_EXE_FORMAT when it is no driver module, ERROR_GEN_FAILURE when DriverEntry fails.
DWORD LoadDriver(const std::string &serviceName, const std::string &imagePath);

// Whether the driver of `serviceName` (case-insensitive) is loaded in this process.
bool IsDriverLoaded(const std::string &serviceName);

// Runs the driver's DriverUnload, deletes what it left of its devices and links, and unloads the module.
// Returns 0, ERROR_SERVICE_NOT_ACTIVE, or ERROR_INVALID_SERVICE_CONTROL for a driver without DriverUnload.
DWORD UnloadDriver(const std::string &serviceName);

// A device that a driver created. A handle keeps it alive; once it is deleted it is an empty shell on which
// every request fails.
struct DeviceObject;
using DeviceRef = std::shared_ptr<DeviceObject>;

// The device that the link \DosDevices\<name> names (case-insensitive), or null.
DeviceRef FindDevice(const std::string &name);

// An open file of a device, as CreateFileA("\\.\name") makes one: IRP_MJ_CREATE when it is opened, and
// IRP_MJ_CLEANUP and IRP_MJ_CLOSE when the last reference goes (while the device's driver is loaded).
struct DeviceFile;
using DeviceFileRef = std::shared_ptr<DeviceFile>;

// Opens the device `name`. Returns 0 and the file, ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED when it is
// exclusive and open already, or the Win32 error of the status the driver completed IRP_MJ_CREATE with.
DWORD CreateDeviceFile(const std::string &name, DeviceFileRef *file);

// One METHOD_BUFFERED request, as DeviceIoControl sends it (RequestorMode UserMode): 0 or the Win32 error of
// the status the driver completed it with, and the byte count in *bytesReturned.
DWORD SendDeviceControl(const DeviceFile &file, DWORD ioControlCode, const void *inBuffer, DWORD inBufferSize,
                        void *outBuffer, DWORD outBufferSize, DWORD *bytesReturned);

// The simulated hardware's test port, for the headless front end's `machine ...` script actions: one
// command ("reset 02:00.0", "poke 02:00.0 40 aa bb", ...) sent to the driver of \\.\Kelvorant with its
// private control code IOCTL_KELVORANT_TEST_PORT, in an IRP of the kernel's own (never from user mode). True
// with the answer in *text ("" for none), or false with the reason (the HAL machine refuses every command).
bool SendMachineCommand(const std::string &command, std::string *text);

// The file name of the loaded driver image whose code holds `address`, for the lines the kernel and the HAL
// say on a driver's behalf ("KELVORANT.sys: ..."); for other code (a test program), the file name of its
// module. A module is loaded from a descriptor, so the dynamic loader knows it by that descriptor's name.
std::string ModuleNameAt(const void *address);

// Has the dynamic loader map a module (a driver, the window library) from `fd`, the file at `path` that the
// host's one opener opened: by the descriptor, through /proc, so that the file checked is the file loaded and
// no search path is looked at. A cut-off file is refused first, as Windows refuses a truncated image: the
// loader would map it, and the first touch of a page past its end would kill the process with SIGBUS. The
// module, or null with the reason in *why.
void *LoadModuleFile(int fd, const std::string &path, std::string *why);

// KELVORANT_MACHINE (platform.md) as the platform hands it to the driver: the value Machine under the
// driver's service key (kelvorant_sys/core/machine_choice.h) and, for sysfs, the HAL's folder.
//   sysfs, sysfs:DIR (each may end in @DDDD)   Machine = hal; the HAL serves /sys/bus/pci/devices or DIR
//   demo, a dump or machine file [@DDDD]       Machine = the text as it is
//   unset                                      sysfs when /sys/bus/pci/devices lists a function, else demo
// A value that names no machine (empty, "@DDDD" alone, "sysfs:" without a folder) is refused: taking it for
// "unset" would serve this computer's hardware.
inline constexpr char kLiveSysfsRoot[] = "/sys/bus/pci/devices";

struct MachineVariable {
  enum class Kind { kDefault, kSysfs, kValue };
  Kind kind = Kind::kDefault;
  std::string value;      // kValue: the Machine value
  std::string file;       // kValue: its file (the value without @DDDD), unless it is the demo machine
  std::string sysfsRoot;  // kSysfs: the folder
  uint32_t domain = 0;    // the served domain
};

// Reads KELVORANT_MACHINE's text (null: unset). False with the reason when it names no machine; the rest is
// the driver's to judge. A file named like one of the driver's words ("Demo", "hal") is handed over as ./TEXT.
bool ParseMachineVariable(const char *text, MachineVariable *out, std::string *why);

// The machine that an unset variable stands for: this computer's sysfs when it lists a function, else
// the demo machine, in the variable's domain.
void ChooseDefaultMachine(MachineVariable *machine);

// Reads KELVORANT_MACHINE and sets what the driver will find before each DriverEntry: the Machine value
// (MachineValue) and the HAL's folder and domain (none but sysfs: no bus).
void ApplyMachineSetting();
const std::string &MachineValue();

// The folder laid out like /sys/bus/pci/devices, and the PCI domain of it, that the HAL's bus-data routines
// serve from now on; "" for a computer without PCI buses. The folder is listed, and its functions' config
// files opened, at the first call of a routine, unless OpenHalBuses did it already for the same folder.
void ConfigureHalBuses(const std::string &root, uint32_t domain);

// Lists the folder and opens its functions' config files now (read-write where this process may), so that
// they stay open when the process gives up root. `mustBeSysfs`: the folder must be on the kernel's sysfs.
// False with the reason when the folder cannot be listed, is not sysfs, or its files do not fit under the
// descriptor limit; lines about single functions are said at the first call of a bus-data routine.
bool OpenHalBuses(const std::string &root, uint32_t domain, bool mustBeSysfs, std::string *why);

// The function ("0000:01:00.0") whose config file the HAL holds open as the file `st` is; "" for none.
std::string HalFunctionOfFile(const struct stat &st);

// Whether the folder lists at least one function (of any domain).
bool SysfsListsAnyFunction(const std::string &root);

}  // namespace kvplat
