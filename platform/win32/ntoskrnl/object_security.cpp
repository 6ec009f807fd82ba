// Setting a security descriptor on a device through a kernel handle. The calls are checked as Windows checks
// them, but no descriptor is kept: this platform's one user runs the program, and no access is checked. The
// driver's tests link routines of their own in place of this file, which keep what the driver set.
#include <ddk/ntifs.h>

#include "kernel_state.h"
#include "kvplat/diag.h"
#include "kvplat/kernel32.h"

using namespace kvplat;

namespace {

// A handle to a device, as ObOpenObjectByPointer opens one.
struct DeviceHandle : HandleObject {
  explicit DeviceHandle(ACCESS_MASK access) : HandleObject(HandleType::KernelDevice), access(access) {}
  ACCESS_MASK access;
};

}  // namespace

extern "C" NTSTATUS ObOpenObjectByPointer(PVOID object, ULONG handleAttributes, PACCESS_STATE passedAccessState,
                                          ACCESS_MASK desiredAccess, POBJECT_TYPE objectType, KPROCESSOR_MODE accessMode,
                                          PHANDLE handle) {
  if (accessMode != KernelMode || passedAccessState != nullptr || objectType != nullptr ||
      handleAttributes != OBJ_KERNEL_HANDLE) {
    ReportUnimplemented("ObOpenObjectByPointer other than for a kernel handle in kernel mode");
    return STATUS_NOT_IMPLEMENTED;
  }
  {
    std::lock_guard lock(Kernel().mutex);
    if (!RecordOfDevice(static_cast<const DEVICE_OBJECT *>(object))) {
      ReportUnimplemented("ObOpenObjectByPointer of an object other than a device");
      return STATUS_OBJECT_TYPE_MISMATCH;
    }
  }
  *handle = InsertHandle(std::make_shared<DeviceHandle>(desiredAccess));
  return STATUS_SUCCESS;
}

extern "C" NTSTATUS ZwSetSecurityObject(HANDLE handle, SECURITY_INFORMATION securityInformation,
                                        PSECURITY_DESCRIPTOR securityDescriptor) {
  const auto device = LookupHandleAs<DeviceHandle>(handle, HandleType::KernelDevice);
  if (!device) return STATUS_INVALID_HANDLE;
  if (securityInformation != DACL_SECURITY_INFORMATION) {
    ReportUnimplemented("ZwSetSecurityObject of more or less than the DACL");
    return STATUS_NOT_IMPLEMENTED;
  }
  if (!(device->access & WRITE_DAC)) return STATUS_ACCESS_DENIED;
  const auto *sd = static_cast<const SECURITY_DESCRIPTOR *>(securityDescriptor);
  if (sd == nullptr || sd->Revision != SECURITY_DESCRIPTOR_REVISION || (sd->Control & SE_SELF_RELATIVE))
    return STATUS_INVALID_SECURITY_DESCR;
  return STATUS_SUCCESS;
}
