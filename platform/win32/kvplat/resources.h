// The executable's resource section. The start-up code registers the files of the resource script (the
// .rc, the headers it includes, the icons it names), as a linker would place a compiled .res into the image;
// the resource loader compiles them on first use into the binary resources that FindResourceA returns.
#pragma once
#include "kvplat/embedded.h"

namespace kvplat {

void RegisterModuleResources(const EmbeddedFile *files);

}  // namespace kvplat
