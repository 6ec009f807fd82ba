// The driver's handling of one DeviceIoControl request, apart from the kernel glue: checks the control code
// and the buffer sizes, asks the machine, applies the fault rules and fills in the answer. The glue turns
// the completion into the IRP's status (driver_entry.cpp).
#pragma once
#include <cstdint>

#include "core/faults.h"
#include "core/machine.h"
#include "core/requests.h"

namespace kvsys {

enum class Completion {
  kDone,            // the answer is in the buffer: `information` bytes of it, `status` its status word
  kUnknownRequest,  // none of the four requests' control codes (the call fails with ERROR_INVALID_FUNCTION)
  kBadBuffer,       // no buffer, or an input or output length other than the request's size
                    // (ERROR_INVALID_PARAMETER)
  kFailed,          // a fault rule fails the call with its Win32 error
};

struct RequestOutcome {
  Completion completion = Completion::kDone;
  uintptr_t information = 0;  // the byte count to report
  uint32_t status = 0;        // the status word written
  uint32_t error = 0;         // the Win32 error that the call fails with, when it is not done
};

// Handles one METHOD_BUFFERED request: `buffer` holds the input on entry and the output on return (it has
// room for the larger of the two lengths).
RequestOutcome HandleDeviceControl(Machine &machine, FaultTable &faults, uint32_t domain, uint32_t code,
                                   void *buffer, uint32_t input_length, uint32_t output_length);

}  // namespace kvsys
