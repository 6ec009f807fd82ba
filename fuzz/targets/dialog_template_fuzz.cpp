// The dialog template reader over any bytes, as the dialog manager reads a template resource.
#include <cstdint>
#include <string>

#include "fuzz_check.h"
#include "kvplat/resources.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  kvplat::DialogTemplate dialog;
  std::string error;
  if (kvplat::ParseDialogTemplate(data, size, &dialog, &error)) {
    // Every item takes at least 18 bytes of the template.
    FUZZ_CHECK(dialog.items.size() * 18 <= size);
  } else {
    FUZZ_CHECK(!error.empty());
  }
  return 0;
}
