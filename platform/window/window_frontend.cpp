#include "window_frontend.h"

namespace kvplat {

std::unique_ptr<FrontEnd> MakeWindowFrontEnd(std::string *error) {
  *error = "the window front end is not built yet";
  return nullptr;
}

}  // namespace kvplat
