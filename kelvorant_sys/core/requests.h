// The driver's four requests (kelvorant_ioctl.h) in a form that tables can index: what each buffer holds
// and where, by control code, by name and by kind.
#pragma once
#include <cstddef>
#include <cstdint>

#include "kelvorant_ioctl.h"

namespace kvsys {

enum class RequestKind { kReadConfig, kWriteConfig, kReadExtConfig, kWriteExtConfig };

struct RequestInfo {
  RequestKind kind;
  uint32_t code;
  const char *name;
  uint32_t size;          // the buffer size, input and output alike
  uint32_t data_length;   // bytes of configuration space in data
  uint32_t status_at;     // offset of the status word in the buffer
  unsigned first_byte;    // configuration offset of data[0]
  bool write;
  bool extended;
};

// Null for an unknown control code.
const RequestInfo *FindRequestByCode(uint32_t code);
const RequestInfo *FindRequestByName(const char *name, size_t length);
const RequestInfo &InfoOf(RequestKind kind);

}  // namespace kvsys
