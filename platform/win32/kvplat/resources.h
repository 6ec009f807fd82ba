// The executable's resource section. The build compiles the resource script with windres and links the
// .rsrc section of its output into the program as bytes; the start-up code registers the image's sections
// here, and the resource loader reads the one named ".rsrc" as the Windows loader reads a resource section.
#pragma once
#include "kvplat/embedded.h"

namespace kvplat {

// `sections` ends with a null entry; null, or a table without ".rsrc", leaves the module without resources.
// A section registered once stays readable, and so do the resources loaded from it.
void RegisterModuleResources(const EmbeddedFile *sections);

}  // namespace kvplat
