// A record of the service database (KELVORANT_SCM_DIR/NAME.service): any text as the file, read as the
// service manager reads it. A damaged record is refused with an exception that says why (the manager then
// ignores it); a record that is read is written back as one that reads the same.
#include <cstdint>
#include <exception>
#include <string>

#include "fuzz_check.h"
#include "scm.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const std::string text(reinterpret_cast<const char *>(data), size);
  kvplat::ServiceRecord record;
  try {
    record = kvplat::ParseServiceRecord(text);
  } catch (const std::exception &damage) {
    FUZZ_CHECK(damage.what()[0] != '\0');
    return 0;
  }
  const std::string written = kvplat::ServiceRecordText(record);
  FUZZ_CHECK(kvplat::ServiceRecordText(kvplat::ParseServiceRecord(written)) == written);
  return 0;
}
