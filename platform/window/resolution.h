// The display's resolution in dots per inch, as Xft and the desktop's toolkits take it: the X resource
// Xft.dpi when the desktop sets one, else what the X server says of its screen (pixels over millimetres).
#pragma once
#include <optional>
#include <string>
#include <string_view>

namespace kvplat::window {

// Resolutions outside this range are not believed: Windows scales dialogs from 100 % to 500 %, and
// an X server without a physical size reports nonsense.
constexpr int kMinDpi = 48;
constexpr int kMaxDpi = 480;

// `xftDpi` is the resource's value when it is set. A value that is not a resolution in range is passed over
// for the server's, and *complaint says so, naming the value; the server's own is 96 dpi when it is
// unknown or out of range.
int ChooseResolution(std::optional<std::string_view> xftDpi, int widthPixels, int widthMillimetres,
                     std::string *complaint);

}  // namespace kvplat::window
