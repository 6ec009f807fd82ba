// The header decoders and both capability walks over any configuration image: the program's class
// description, interface kind and register view (lists attached to bare list-view windows), and the
// driver's default masks. The input's first 256 bytes are the standard image, the next 3840 the extended
// one; bytes the input does not give read as 0xFF, as they do on the bus.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "core/default_masks.h"
#include "fuzz_check.h"
#include "testable_dialog.h"

namespace {

// The register view's rows for a header type: the common ten, the layout's own, and 16 bytes a row after.
size_t ExpectedRows(int headerType, bool extended) {
  static const size_t kLayoutRows[] = {17, 23, 19};
  const bool known = headerType < 3;
  return 10 + (known ? kLayoutRows[headerType] : 0) + (CONFIG_SIZE - (known ? 0x40 : 0x10)) / 16 +
         (extended ? EXT_CONFIG_SIZE / 16 : 0);
}

TestableDlg &Dialog() {
  static TestableDlg *dialog = new TestableDlg;  // one dialog for the whole run, as one list view is reused
  return *dialog;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  BYTE image[CONFIG_SIZE + EXT_CONFIG_SIZE];
  std::memset(image, 0xff, sizeof image);
  std::memcpy(image, data, std::min(size, sizeof image));

  TestableDlg &dlg = Dialog();
  char text[64];
  std::memset(text, 0x5a, sizeof text);
  dlg.GetClassDescription(image[9] | image[10] << 8 | image[11] << 16, text);
  FUZZ_CHECK(std::memchr(text, '\0', sizeof text) != nullptr && text[0] != '\0');

  const DWORD kind = dlg.GetInterfaceKind(image);
  FUZZ_CHECK(kind == INTERFACE_PCI || kind == INTERFACE_PCIX || kind == INTERFACE_PCI_EXPRESS);

  // As ShowDeviceRegisters shows a function: rows for its layout, then every value.
  const bool extended = kind == INTERFACE_PCI_EXPRESS;
  const int headerType = image[0x0E] & 0x7F;
  dlg.BuildRegisterRows(headerType);
  dlg.FillRegisterValues(image, extended ? image + CONFIG_SIZE : nullptr);
  const auto rows = dlg.RegisterRows();
  FUZZ_CHECK(rows.size() == ExpectedRows(headerType, extended));
  for (const auto &[label, value] : rows) FUZZ_CHECK(!label.empty() && !value.empty());

  // The driver's walk, over the whole image and over an image cut where the input ends.
  std::vector<uint8_t> writable(sizeof image), w1c(sizeof image);
  kvsys::ComputeDefaultMasks(image, sizeof image, writable.data(), w1c.data());
  const size_t cut = std::min(size, sizeof image);
  kvsys::ComputeDefaultMasks(data, cut, writable.data(), w1c.data());
  return 0;
}
