#include "icon_images.h"

#include <FL/Fl_RGB_Image.H>
#include <FL/Fl_Window.H>

#include <memory>

#include "kvplat/icon.h"

namespace kvplat::window {

std::vector<unsigned char> RgbaFromArgb(const std::vector<uint32_t> &argb) {
  std::vector<unsigned char> rgba;
  rgba.reserve(argb.size() * 4);
  for (uint32_t p : argb) {
    rgba.push_back(static_cast<unsigned char>(p >> 16));
    rgba.push_back(static_cast<unsigned char>(p >> 8));
    rgba.push_back(static_cast<unsigned char>(p));
    rgba.push_back(static_cast<unsigned char>(p >> 24));
  }
  return rgba;
}

void ApplyWindowIcons(Fl_Window *window, HICON big, HICON small) {
  std::vector<std::vector<unsigned char>> pixels;
  std::vector<std::unique_ptr<Fl_RGB_Image>> images;
  // Programs often give one handle for both sizes: its images are listed once.
  for (HICON icon : {big, small == big ? nullptr : small}) {
    if (!icon) continue;
    const IconState *state = IconFromHandle(icon);
    if (!state) continue;
    for (const IconImage &image : state->images) {
      if (image.width <= 0 || image.height <= 0 ||
          image.argb.size() != static_cast<size_t>(image.width) * static_cast<size_t>(image.height))
        continue;
      pixels.push_back(RgbaFromArgb(image.argb));
      images.push_back(std::make_unique<Fl_RGB_Image>(pixels.back().data(), image.width, image.height, 4));
    }
  }
  std::vector<const Fl_RGB_Image *> list;
  list.reserve(images.size());
  for (auto &image : images) list.push_back(image.get());
  window->icons(list.data(), static_cast<int>(list.size()));
}

}  // namespace kvplat::window
