// The demo machine's capture, data/tree-fujitsu-p8010.txt, as linked into the driver.
#pragma once
#include <string_view>

namespace kvsys {

std::string_view DemoCapture();

}  // namespace kvsys
