#include "core/text_files.h"

namespace kvsys {

bool TextFiles::ReadText(const std::string &path, std::string *text, std::string *why) {
  text->clear();
  return ReadLines(
      path,
      [text](std::string_view line) {
        text->append(line);
        *text += '\n';
        return true;
      },
      why);
}

std::string FolderOf(const std::string &path) {
  const size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string JoinPath(const std::string &folder, const std::string &name) {
  const bool absolute = !name.empty() && (name[0] == '/' || name[0] == '\\' || (name.size() > 1 && name[1] == ':'));
  return absolute ? name : folder + name;
}

}  // namespace kvsys
