/*
 * The kernel interface that a driver module (KELVORANT.sys) is built against: a small, WDM-shaped subset.
 *
 * StartServiceA on a SERVICE_KERNEL_DRIVER service loads the module at the service's binary path into the
 * process and calls its exported DriverEntry with a fresh driver object. DriverEntry fills in the dispatch
 * routines, creates its device with IoCreateDevice and returns an NTSTATUS; a failure status makes the start
 * fail with ERROR_GEN_FAILURE. ControlService(SERVICE_CONTROL_STOP) deletes the device, calls DriverUnload and
 * unloads the module.
 *
 * DeviceIoControl on a handle of the device reaches DispatchDeviceControl with one IRP. All control codes are
 * METHOD_BUFFERED: the I/O manager copies the caller's input into SystemBuffer (sized for the larger of the two
 * lengths), calls the driver, and on success copies min(Information, OutputBufferLength) bytes back and reports
 * Information as the byte count. A failure status makes DeviceIoControl return FALSE with the status mapped
 * to a Win32 error (RtlNtStatusToDosError); NTSTATUS_FROM_WIN32(e) carries any Win32 code e through unchanged.
 */
#pragma once
#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef int32_t NTSTATUS;

#define NT_SUCCESS(status) (((NTSTATUS)(status)) >= 0)
#define STATUS_SUCCESS ((NTSTATUS)0x00000000L)
#define STATUS_UNSUCCESSFUL ((NTSTATUS)0xC0000001L)
#define STATUS_NOT_IMPLEMENTED ((NTSTATUS)0xC0000002L)
#define STATUS_INVALID_PARAMETER ((NTSTATUS)0xC000000DL)
#define STATUS_NO_SUCH_DEVICE ((NTSTATUS)0xC000000EL)
#define STATUS_INVALID_DEVICE_REQUEST ((NTSTATUS)0xC0000010L)
#define STATUS_ACCESS_DENIED ((NTSTATUS)0xC0000022L)
#define STATUS_BUFFER_TOO_SMALL ((NTSTATUS)0xC0000023L)
#define STATUS_OBJECT_NAME_COLLISION ((NTSTATUS)0xC0000035L)
#define STATUS_INSUFFICIENT_RESOURCES ((NTSTATUS)0xC000009AL)
#define STATUS_DEVICE_CONFIGURATION_ERROR ((NTSTATUS)0xC0000182L)
#define FACILITY_NTWIN32 0x7
#define NTSTATUS_FROM_WIN32(e) ((NTSTATUS)(((uint32_t)(e)&0x0000FFFFu) | (FACILITY_NTWIN32 << 16) | 0xC0000000u))

typedef struct KV_IRP {
  uint32_t IoControlCode;
  void *SystemBuffer;          /* METHOD_BUFFERED: the input on entry, the output on return */
  uint32_t InputBufferLength;
  uint32_t OutputBufferLength;
  uintptr_t Information;       /* the byte count to return */
} KV_IRP;

typedef struct KV_DRIVER_OBJECT KV_DRIVER_OBJECT;

typedef NTSTATUS (*KV_DRIVER_DISPATCH)(KV_DRIVER_OBJECT *DriverObject, KV_IRP *Irp);
typedef void (*KV_DRIVER_UNLOAD)(KV_DRIVER_OBJECT *DriverObject);
/* The simulated hardware's test port: a command such as "reset 02:00.0"; on failure the driver writes why
   (one line, no prefix) into Message. Drivers of real hardware leave it null. */
typedef NTSTATUS (*KV_MACHINE_CONTROL)(KV_DRIVER_OBJECT *DriverObject, const char *Command, char *Message,
                                       size_t MessageSize);

struct KV_DRIVER_OBJECT {
  uint32_t Size;               /* sizeof(KV_DRIVER_OBJECT), set by the kernel */
  void *DriverExtension;       /* the driver's own state */
  KV_DRIVER_DISPATCH DispatchDeviceControl;
  KV_DRIVER_UNLOAD DriverUnload;
  KV_MACHINE_CONTROL MachineControl;

  /* Kernel services, set by the kernel before DriverEntry runs. */
  /* Creates \Device\Name and its \DosDevices\Name link, so that CreateFileA("\\.\Name") opens it. */
  NTSTATUS (*IoCreateDevice)(KV_DRIVER_OBJECT *DriverObject, const char *Name);
  /* Writes one diagnostic line to the platform's error stream ("kelvorant: " is prepended). */
  void (*DbgPrint)(const char *Text);
  /* Hands one line to the kernel's trace session, as WPP's WmiTraceMessage does: the platform writes it to
     the trace file of the run (KELVORANT_TRACE) when there is one. */
  void (*TraceMessage)(const char *Line);
};

#define KV_DRIVER_ENTRY_NAME "DriverEntry"
typedef NTSTATUS (*KV_DRIVER_INITIALIZE)(KV_DRIVER_OBJECT *DriverObject, const char *RegistryPath);

#ifdef __cplusplus
}
#endif
