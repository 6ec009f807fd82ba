// The resource compiler over any script: the input is the module's kelvorant.rc (and, for #include
// "input.h", a header with the same text), next to the program's real resource.h and kelvorant.ico.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "kvplat/embedded.h"
#include "resource_checks.h"
#include "rsrc/rc_script.h"

// The program's resource files, linked in as the program links them.
extern const kvplat::EmbeddedFile kv_embedded_resources[];

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  using namespace kvplat::rsrc;
  const std::string script(reinterpret_cast<const char *>(data), size);
  std::vector<ScriptFile> files = {{"kelvorant.rc", script}};
  for (const kvplat::EmbeddedFile *f = kv_embedded_resources; f->name; ++f)
    if (std::strcmp(f->name, "kelvorant.rc") != 0)
      files.push_back({f->name, std::string(reinterpret_cast<const char *>(f->data), f->size)});
  files.push_back({"input.h", script});

  std::vector<Resource> resources;
  std::string error;
  if (!CompileScript(files, &resources, &error)) {
    // Every refusal names the file and says why.
    FUZZ_CHECK(!error.empty() && error.find(": ") != std::string::npos);
    return 0;
  }
  kvfuzz::CheckCompiledResources(resources);
  return 0;
}
