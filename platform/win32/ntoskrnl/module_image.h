// The check a module file passes before the dynamic loader maps it. The loader maps each loadable segment
// as the program headers describe it and trusts the file to be that long: a cut-off module maps, and the
// first access to a page past the end of the file kills the whole process with SIGBUS. Windows refuses a
// truncated image with STATUS_INVALID_IMAGE_FORMAT; this refuses it the same way, before dlopen sees it.
#pragma once
#include <string>

namespace kvplat {

// False, with the reason in *why, when `fd` is a 64-bit ELF file whose program headers or loadable segments
// reach past its end. Everything else (not ELF, another class, a short header) is left to the loader,
// which reads those cases without mapping anything.
bool ModuleImageIsWhole(int fd, std::string *why);

}  // namespace kvplat
