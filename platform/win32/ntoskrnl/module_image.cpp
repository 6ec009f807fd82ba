#include "module_image.h"

#include <elf.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <vector>

namespace kvplat {

namespace {

bool ReadAt(int fd, void *buffer, size_t size, off_t offset) {
  return ::pread(fd, buffer, size, offset) == static_cast<ssize_t>(size);
}

// Whether [offset, offset + size) lies inside a file of `fileSize` bytes, without overflowing.
bool Inside(uint64_t offset, uint64_t size, uint64_t fileSize) {
  return offset <= fileSize && size <= fileSize - offset;
}

}  // namespace

bool ModuleImageIsWhole(int fd, std::string *why) {
  struct stat st;
  Elf64_Ehdr header;
  if (::fstat(fd, &st) != 0 || !ReadAt(fd, &header, sizeof header, 0)) return true;
  if (std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 || header.e_ident[EI_CLASS] != ELFCLASS64) return true;
  const uint64_t fileSize = static_cast<uint64_t>(st.st_size);
  if (header.e_phentsize != sizeof(Elf64_Phdr) ||
      !Inside(header.e_phoff, uint64_t{header.e_phnum} * sizeof(Elf64_Phdr), fileSize)) {
    *why = "its program headers lie outside the file";
    return false;
  }
  std::vector<Elf64_Phdr> segments(header.e_phnum);
  if (!segments.empty() && !ReadAt(fd, segments.data(), segments.size() * sizeof(Elf64_Phdr),
                                   static_cast<off_t>(header.e_phoff))) {
    *why = "its program headers cannot be read";
    return false;
  }
  for (const Elf64_Phdr &segment : segments) {
    if (segment.p_type == PT_LOAD && !Inside(segment.p_offset, segment.p_filesz, fileSize)) {
      *why = "it is truncated: a loadable segment ends at byte " + std::to_string(segment.p_offset + segment.p_filesz) +
             " of a file of " + std::to_string(fileSize) + " bytes";
      return false;
    }
  }
  return true;
}

}  // namespace kvplat
