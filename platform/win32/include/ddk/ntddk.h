/*
 * The Windows Driver Kit subset that KELVORANT.sys is written against, named and valued as the DDK's. The
 * routines are the platform's kernel (platform/win32/ntoskrnl, hal): the program exports them, as
 * ntoskrnl.exe and hal.dll do, and a driver module imports them when the service manager loads it. Every
 * request is completed before its dispatch routine returns (STATUS_PENDING is not implemented). A driver is
 * compiled with -fshort-wchar, as Wine compiles Windows code, so that L"..." literals are WCHAR strings.
 */
#pragma once
#include <stdarg.h>

#include "../windef.h"
#include "../winioctl.h"

#ifdef __cplusplus
extern "C" {
#endif

#define NTAPI
#define FASTCALL
#define DECLSPEC_IMPORT

typedef LONG NTSTATUS;
typedef ULONG ACCESS_MASK;
typedef ULONG DEVICE_TYPE;
typedef char CCHAR;
typedef short CSHORT;
typedef WCHAR *PWSTR, *PWCH;
typedef const WCHAR *PCWSTR, *PCWCH;
typedef CHAR *PCHAR;
typedef const CHAR *PCCH;
typedef UCHAR *PUCHAR;

typedef union _LARGE_INTEGER {
  struct {
    ULONG LowPart;
    LONG HighPart;
  };
  LONGLONG QuadPart;
} LARGE_INTEGER, *PLARGE_INTEGER;

#define NT_SUCCESS(Status) (((NTSTATUS)(Status)) >= 0)
#define NT_ERROR(Status) ((((ULONG)(Status)) >> 30) == 3)

#define STATUS_SUCCESS ((NTSTATUS)0x00000000L)
#define STATUS_PENDING ((NTSTATUS)0x00000103L)
#define STATUS_BUFFER_OVERFLOW ((NTSTATUS)0x80000005L)
#define STATUS_UNSUCCESSFUL ((NTSTATUS)0xC0000001L)
#define STATUS_NOT_IMPLEMENTED ((NTSTATUS)0xC0000002L)
#define STATUS_INFO_LENGTH_MISMATCH ((NTSTATUS)0xC0000004L)
#define STATUS_INVALID_HANDLE ((NTSTATUS)0xC0000008L)
#define STATUS_INVALID_PARAMETER ((NTSTATUS)0xC000000DL)
#define STATUS_INVALID_DEVICE_REQUEST ((NTSTATUS)0xC0000010L)
#define STATUS_END_OF_FILE ((NTSTATUS)0xC0000011L)
#define STATUS_ACCESS_DENIED ((NTSTATUS)0xC0000022L)
#define STATUS_BUFFER_TOO_SMALL ((NTSTATUS)0xC0000023L)
#define STATUS_OBJECT_TYPE_MISMATCH ((NTSTATUS)0xC0000024L)
#define STATUS_OBJECT_NAME_INVALID ((NTSTATUS)0xC0000033L)
#define STATUS_OBJECT_NAME_NOT_FOUND ((NTSTATUS)0xC0000034L)
#define STATUS_OBJECT_NAME_COLLISION ((NTSTATUS)0xC0000035L)
#define STATUS_OBJECT_PATH_NOT_FOUND ((NTSTATUS)0xC000003AL)
#define STATUS_DISK_FULL ((NTSTATUS)0xC000007FL)
#define STATUS_INSUFFICIENT_RESOURCES ((NTSTATUS)0xC000009AL)
#define STATUS_PIPE_NOT_AVAILABLE ((NTSTATUS)0xC00000ACL)
#define STATUS_FILE_IS_A_DIRECTORY ((NTSTATUS)0xC00000BAL)
#define STATUS_NOT_SUPPORTED ((NTSTATUS)0xC00000BBL)
#define STATUS_NAME_TOO_LONG ((NTSTATUS)0xC0000106L)
#define STATUS_TOO_MANY_OPENED_FILES ((NTSTATUS)0xC000011FL)
#define STATUS_PIPE_BROKEN ((NTSTATUS)0xC000014BL)
#define STATUS_UNRECOGNIZED_VOLUME ((NTSTATUS)0xC000014FL)
#define STATUS_DEVICE_CONFIGURATION_ERROR ((NTSTATUS)0xC0000182L)
#define STATUS_IO_DEVICE_ERROR ((NTSTATUS)0xC0000185L)
#define STATUS_IO_REPARSE_TAG_NOT_HANDLED ((NTSTATUS)0xC0000279L)

typedef enum _MODE { KernelMode, UserMode, MaximumMode } MODE;
typedef CCHAR KPROCESSOR_MODE;

/* Strings. */
typedef struct _UNICODE_STRING {
  USHORT Length;        /* bytes, without a terminating zero */
  USHORT MaximumLength; /* bytes */
  PWSTR Buffer;
} UNICODE_STRING, *PUNICODE_STRING;

DECLSPEC_IMPORT void NTAPI RtlInitUnicodeString(PUNICODE_STRING DestinationString, PCWSTR SourceString);
#define STATUS_SOME_NOT_MAPPED ((NTSTATUS)0x00000107L)
/* With a null destination they count the bytes needed; a sequence that does not convert becomes U+FFFD and
   the status STATUS_SOME_NOT_MAPPED. */
DECLSPEC_IMPORT NTSTATUS NTAPI RtlUTF8ToUnicodeN(PWSTR UnicodeStringDestination, ULONG UnicodeStringMaxByteCount,
                                                 PULONG UnicodeStringActualByteCount, PCCH UTF8StringSource,
                                                 ULONG UTF8StringByteCount);
DECLSPEC_IMPORT NTSTATUS NTAPI RtlUnicodeToUTF8N(PCHAR UTF8StringDestination, ULONG UTF8StringMaxByteCount,
                                                 PULONG UTF8StringActualByteCount, PCWCH UnicodeStringSource,
                                                 ULONG UnicodeStringByteCount);

/* Objects and handles. */
#define OBJ_CASE_INSENSITIVE 0x00000040L
#define OBJ_KERNEL_HANDLE 0x00000200L
typedef struct _OBJECT_ATTRIBUTES {
  ULONG Length;
  HANDLE RootDirectory;
  PUNICODE_STRING ObjectName;
  ULONG Attributes;
  PVOID SecurityDescriptor;
} OBJECT_ATTRIBUTES, *POBJECT_ATTRIBUTES;
#define InitializeObjectAttributes(p, n, a, r, s) \
  do {                                            \
    (p)->Length = sizeof(OBJECT_ATTRIBUTES);      \
    (p)->RootDirectory = (r);                     \
    (p)->Attributes = (a);                        \
    (p)->ObjectName = (n);                        \
    (p)->SecurityDescriptor = (s);                \
  } while (0)

DECLSPEC_IMPORT NTSTATUS NTAPI ZwClose(HANDLE Handle);

/* The registry. */
#define KEY_READ 0x00020019L /* READ_CONTROL | KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS | KEY_NOTIFY */
#define REG_SZ 1
#define REG_EXPAND_SZ 2
typedef enum _KEY_VALUE_INFORMATION_CLASS { KeyValuePartialInformation = 2 } KEY_VALUE_INFORMATION_CLASS;
typedef struct _KEY_VALUE_PARTIAL_INFORMATION {
  ULONG TitleIndex;
  ULONG Type;
  ULONG DataLength; /* bytes */
  UCHAR Data[1];
} KEY_VALUE_PARTIAL_INFORMATION;
DECLSPEC_IMPORT NTSTATUS NTAPI ZwOpenKey(PHANDLE KeyHandle, ACCESS_MASK DesiredAccess,
                                         POBJECT_ATTRIBUTES ObjectAttributes);
/* Fills KeyValueInformation; a value that does not fit gives STATUS_BUFFER_OVERFLOW with as much as fits
   (STATUS_BUFFER_TOO_SMALL when not even the header does). */
DECLSPEC_IMPORT NTSTATUS NTAPI ZwQueryValueKey(HANDLE KeyHandle, PUNICODE_STRING ValueName,
                                               KEY_VALUE_INFORMATION_CLASS KeyValueInformationClass,
                                               PVOID KeyValueInformation, ULONG Length, PULONG ResultLength);

/* Files. Object names are NT paths: \??\ followed by a Win32 path, whose separators may be \ or /. */
typedef struct _IO_STATUS_BLOCK {
  union {
    NTSTATUS Status;
    PVOID Pointer;
  };
  ULONG_PTR Information;
} IO_STATUS_BLOCK, *PIO_STATUS_BLOCK;
typedef void(NTAPI *PIO_APC_ROUTINE)(PVOID ApcContext, PIO_STATUS_BLOCK IoStatusBlock, ULONG Reserved);

#define GENERIC_READ 0x80000000L
#define FILE_SHARE_READ 0x00000001
#define FILE_SHARE_WRITE 0x00000002
#define FILE_ATTRIBUTE_NORMAL 0x00000080
#define FILE_APPEND_DATA 0x00000004
#define SYNCHRONIZE 0x00100000L
#define FILE_OPEN 0x00000001
#define FILE_OPEN_IF 0x00000003
#define FILE_SYNCHRONOUS_IO_NONALERT 0x00000020
#define FILE_NON_DIRECTORY_FILE 0x00000040

typedef enum _FILE_INFORMATION_CLASS { FileStandardInformation = 5 } FILE_INFORMATION_CLASS;
typedef struct _FILE_STANDARD_INFORMATION {
  LARGE_INTEGER EndOfFile; /* the one field this kernel fills, of the DDK's five */
} FILE_STANDARD_INFORMATION, *PFILE_STANDARD_INFORMATION;

/* Opens an existing file for reading (FILE_OPEN), or a file for appending (FILE_APPEND_DATA alone, with
   FILE_OPEN_IF: made when it is missing). It reads a regular file only, and appends to a regular file, a
   character device or a FIFO that a process reads. Anything else gets a status that says what it is: a
   folder STATUS_FILE_IS_A_DIRECTORY (Windows' answer to FILE_NON_DIRECTORY_FILE), a FIFO
   STATUS_PIPE_NOT_AVAILABLE, a character device STATUS_OBJECT_TYPE_MISMATCH, a block device
   STATUS_UNRECOGNIZED_VOLUME, a socket STATUS_IO_REPARSE_TAG_NOT_HANDLED (a Windows AF_UNIX socket file's). */
DECLSPEC_IMPORT NTSTATUS NTAPI ZwCreateFile(PHANDLE FileHandle, ACCESS_MASK DesiredAccess,
                                            POBJECT_ATTRIBUTES ObjectAttributes, PIO_STATUS_BLOCK IoStatusBlock,
                                            PLARGE_INTEGER AllocationSize, ULONG FileAttributes, ULONG ShareAccess,
                                            ULONG CreateDisposition, ULONG CreateOptions, PVOID EaBuffer,
                                            ULONG EaLength);
DECLSPEC_IMPORT NTSTATUS NTAPI ZwQueryInformationFile(HANDLE FileHandle, PIO_STATUS_BLOCK IoStatusBlock,
                                                      PVOID FileInformation, ULONG Length,
                                                      FILE_INFORMATION_CLASS FileInformationClass);
/* Reads synchronously from ByteOffset (which must be given): STATUS_END_OF_FILE at the end, and a
   failed read an error status (STATUS_IO_DEVICE_ERROR for an input/output error), never the end. */
DECLSPEC_IMPORT NTSTATUS NTAPI ZwReadFile(HANDLE FileHandle, HANDLE Event, PIO_APC_ROUTINE ApcRoutine,
                                          PVOID ApcContext, PIO_STATUS_BLOCK IoStatusBlock, PVOID Buffer,
                                          ULONG Length, PLARGE_INTEGER ByteOffset, PULONG Key);
/* Writes synchronously to a file opened for appending: all of Buffer at the file's end, whatever ByteOffset
   says; a failed write is an error status (STATUS_DISK_FULL, STATUS_PIPE_BROKEN, ...). */
DECLSPEC_IMPORT NTSTATUS NTAPI ZwWriteFile(HANDLE FileHandle, HANDLE Event, PIO_APC_ROUTINE ApcRoutine,
                                           PVOID ApcContext, PIO_STATUS_BLOCK IoStatusBlock, PVOID Buffer,
                                           ULONG Length, PLARGE_INTEGER ByteOffset, PULONG Key);

/* Driver and device objects, IRPs. */
struct _DRIVER_OBJECT;
struct _DEVICE_OBJECT;
struct _IRP;

typedef struct _DEVICE_OBJECT {
  CSHORT Type;
  USHORT Size;
  struct _DRIVER_OBJECT *DriverObject;
  struct _DEVICE_OBJECT *NextDevice; /* the driver's next device */
  ULONG Flags;
  ULONG Characteristics;
  DEVICE_TYPE DeviceType;
  PVOID DeviceExtension; /* DeviceExtensionSize bytes of the driver's own, zeroed */
} DEVICE_OBJECT, *PDEVICE_OBJECT;

#define DO_EXCLUSIVE 0x00000008 /* one open file at a time: another open fails with STATUS_ACCESS_DENIED */
#define DO_DEVICE_INITIALIZING 0x00000080
#define FILE_DEVICE_SECURE_OPEN 0x00000100

typedef struct _FILE_OBJECT {
  CSHORT Type;
  CSHORT Size;
  PDEVICE_OBJECT DeviceObject;
} FILE_OBJECT, *PFILE_OBJECT;

typedef NTSTATUS(NTAPI DRIVER_DISPATCH)(PDEVICE_OBJECT DeviceObject, struct _IRP *Irp);
typedef DRIVER_DISPATCH *PDRIVER_DISPATCH;
typedef void(NTAPI DRIVER_UNLOAD)(struct _DRIVER_OBJECT *DriverObject);
typedef DRIVER_UNLOAD *PDRIVER_UNLOAD;
typedef NTSTATUS(NTAPI DRIVER_INITIALIZE)(struct _DRIVER_OBJECT *DriverObject, PUNICODE_STRING RegistryPath);
typedef DRIVER_INITIALIZE *PDRIVER_INITIALIZE;

#define IRP_MJ_CREATE 0x00
#define IRP_MJ_CLOSE 0x02
#define IRP_MJ_DEVICE_CONTROL 0x0e
#define IRP_MJ_CLEANUP 0x12
#define IRP_MJ_MAXIMUM_FUNCTION 0x1b

typedef struct _DRIVER_OBJECT {
  CSHORT Type;
  CSHORT Size;
  PDEVICE_OBJECT DeviceObject; /* the driver's devices, the last created first */
  ULONG Flags;
  PDRIVER_UNLOAD DriverUnload;
  PDRIVER_DISPATCH MajorFunction[IRP_MJ_MAXIMUM_FUNCTION + 1];
} DRIVER_OBJECT, *PDRIVER_OBJECT;

typedef struct _IO_STACK_LOCATION {
  UCHAR MajorFunction;
  union {
    struct {
      ULONG OutputBufferLength;
      ULONG InputBufferLength;
      ULONG IoControlCode;
    } DeviceIoControl;
  } Parameters;
  PDEVICE_OBJECT DeviceObject;
  PFILE_OBJECT FileObject;
} IO_STACK_LOCATION, *PIO_STACK_LOCATION;

typedef struct _IRP {
  CSHORT Type;
  USHORT Size;
  union {
    PVOID SystemBuffer;
  } AssociatedIrp;
  IO_STATUS_BLOCK IoStatus;
  KPROCESSOR_MODE RequestorMode; /* UserMode for DeviceIoControl; KernelMode for the kernel's own */
  union {
    struct {
      PIO_STACK_LOCATION CurrentStackLocation;
    } Overlay;
  } Tail;
} IRP, *PIRP;

static inline PIO_STACK_LOCATION IoGetCurrentIrpStackLocation(PIRP Irp) { return Irp->Tail.Overlay.CurrentStackLocation; }

#define IO_NO_INCREMENT 0
DECLSPEC_IMPORT void FASTCALL IofCompleteRequest(PIRP Irp, CCHAR PriorityBoost);
#define IoCompleteRequest IofCompleteRequest

/* A device is initialising (DO_DEVICE_INITIALIZING) until the driver clears the flag. */
DECLSPEC_IMPORT NTSTATUS NTAPI IoCreateDevice(PDRIVER_OBJECT DriverObject, ULONG DeviceExtensionSize,
                                              PUNICODE_STRING DeviceName, DEVICE_TYPE DeviceType,
                                              ULONG DeviceCharacteristics, BOOLEAN Exclusive,
                                              PDEVICE_OBJECT *DeviceObject);
DECLSPEC_IMPORT void NTAPI IoDeleteDevice(PDEVICE_OBJECT DeviceObject);
/* \DosDevices\Name for \Device\Name: what CreateFileA("\\.\Name") opens. */
DECLSPEC_IMPORT NTSTATUS NTAPI IoCreateSymbolicLink(PUNICODE_STRING SymbolicLinkName, PUNICODE_STRING DeviceName);
DECLSPEC_IMPORT NTSTATUS NTAPI IoDeleteSymbolicLink(PUNICODE_STRING SymbolicLinkName);

/* Kernel mutexes: recursive for their owner, as the kernel's. */
typedef struct _KMUTANT {
  ULONGLONG Opaque[8];
} KMUTANT, *PKMUTANT, *PRKMUTANT, KMUTEX, *PKMUTEX, *PRKMUTEX;
typedef enum _KWAIT_REASON { Executive = 0 } KWAIT_REASON;
DECLSPEC_IMPORT void NTAPI KeInitializeMutex(PRKMUTEX Mutex, ULONG Level);
/* Waits without a timeout (Timeout must be null) for a mutex. */
DECLSPEC_IMPORT NTSTATUS NTAPI KeWaitForSingleObject(PVOID Object, KWAIT_REASON WaitReason, KPROCESSOR_MODE WaitMode,
                                                     BOOLEAN Alertable, PLARGE_INTEGER Timeout);
DECLSPEC_IMPORT LONG NTAPI KeReleaseMutex(PRKMUTEX Mutex, BOOLEAN Wait);

/* The HAL's configuration space access. BusNumber is the PCI bus, SlotNumber a PCI_SLOT_NUMBER (the device
   number in bits 0-4, the function number in bits 5-7). HalGetBusDataByOffset returns the bytes read: 0 when
   the bus does not exist, 2 bytes of vendor ID 0xFFFF for an empty slot, fewer than asked where the function's
   space ends or cannot be read. HalSetBusDataByOffset returns the bytes written. */
typedef enum _BUS_DATA_TYPE { PCIConfiguration = 4 } BUS_DATA_TYPE;
DECLSPEC_IMPORT ULONG NTAPI HalGetBusDataByOffset(BUS_DATA_TYPE BusDataType, ULONG BusNumber, ULONG SlotNumber,
                                                  PVOID Buffer, ULONG Offset, ULONG Length);
DECLSPEC_IMPORT ULONG NTAPI HalSetBusDataByOffset(BUS_DATA_TYPE BusDataType, ULONG BusNumber, ULONG SlotNumber,
                                                  PVOID Buffer, ULONG Offset, ULONG Length);

/* The firmware's tables: the caller names the provider ('ACPI': the characters as a multi-character
   constant) and the table (for 'ACPI' its signature's four bytes in memory order, 'GFCM' for MCFG) and gives
   TableBufferLength bytes of room after the header. The kernel sets TableBufferLength to the table's size;
   when that is more than the room, the status is STATUS_BUFFER_TOO_SMALL and nothing is copied. A table the
   firmware does not have gives STATUS_NOT_FOUND, as every table does on this platform. */
#define STATUS_NOT_FOUND ((NTSTATUS)0xC0000225L)
typedef enum _SYSTEM_INFORMATION_CLASS { SystemFirmwareTableInformation = 76 } SYSTEM_INFORMATION_CLASS;
typedef enum _SYSTEM_FIRMWARE_TABLE_ACTION { SystemFirmwareTable_Get = 1 } SYSTEM_FIRMWARE_TABLE_ACTION;
typedef struct _SYSTEM_FIRMWARE_TABLE_INFORMATION {
  ULONG ProviderSignature;
  SYSTEM_FIRMWARE_TABLE_ACTION Action;
  ULONG TableID;
  ULONG TableBufferLength;
  UCHAR TableBuffer[1];
} SYSTEM_FIRMWARE_TABLE_INFORMATION, *PSYSTEM_FIRMWARE_TABLE_INFORMATION;
DECLSPEC_IMPORT NTSTATUS NTAPI ZwQuerySystemInformation(SYSTEM_INFORMATION_CLASS SystemInformationClass,
                                                        PVOID SystemInformation, ULONG SystemInformationLength,
                                                        PULONG ReturnLength);

/* Device memory: MmMapIoSpace returns null where none is (on this platform: anywhere, for a process reaches
   none); a mapping is reached with READ_REGISTER_ULONG and WRITE_REGISTER_ULONG only, the kernel's routines
   here as on 32-bit x86 Windows (x64's DDK inlines them), so that the platform sees every access in order. */
typedef LARGE_INTEGER PHYSICAL_ADDRESS, *PPHYSICAL_ADDRESS;
typedef enum _MEMORY_CACHING_TYPE { MmNonCached = 0, MmCached = 1, MmWriteCombined = 2 } MEMORY_CACHING_TYPE;
DECLSPEC_IMPORT PVOID NTAPI MmMapIoSpace(PHYSICAL_ADDRESS PhysicalAddress, SIZE_T NumberOfBytes,
                                         MEMORY_CACHING_TYPE CacheType);
DECLSPEC_IMPORT void NTAPI MmUnmapIoSpace(PVOID BaseAddress, SIZE_T NumberOfBytes);
DECLSPEC_IMPORT ULONG NTAPI READ_REGISTER_ULONG(volatile ULONG *Register);
DECLSPEC_IMPORT void NTAPI WRITE_REGISTER_ULONG(volatile ULONG *Register, ULONG Value);

/* Debug output. The platform's filter, like Windows' default one, shows DPFLTR_ERROR_LEVEL only: each such
   text goes to standard error as one line, prefixed "kelvorant: ". */
#define DPFLTR_IHVDRIVER_ID 77
#define DPFLTR_ERROR_LEVEL 0
#define DPFLTR_WARNING_LEVEL 1
#define DPFLTR_INFO_LEVEL 3
DECLSPEC_IMPORT ULONG DbgPrintEx(ULONG ComponentId, ULONG Level, PCSTR Format, ...)
    __attribute__((format(printf, 3, 4)));

#ifdef __cplusplus
}
#endif
