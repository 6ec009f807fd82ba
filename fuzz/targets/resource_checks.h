// What every resource that the resource compiler produces must satisfy: its dialog templates read back and
// its icon groups name images that exist and decode the way LoadIconA decodes them.
#pragma once
#include <vector>

#include "rsrc/rc_script.h"

namespace kvfuzz {

void CheckCompiledResources(const std::vector<kvplat::rsrc::Resource> &resources);

}  // namespace kvfuzz
