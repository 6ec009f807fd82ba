#include "script_files.h"

#include <fstream>
#include <sstream>
#include <stdexcept>

#include "kvplat/resources.h"

ScriptFiles &ScriptFiles::Add(const std::string &name, const std::string &content) {
  names_.push_back(name);
  contents_.push_back(content);
  return *this;
}

ScriptFiles ScriptFiles::Program() {
  ScriptFiles files;
  files.Add("kelvorant.rc", ReadSourceFile("res/kelvorant.rc"))
      .Add("resource.h", ReadSourceFile("ui/resource.h"))
      .Add("kelvorant.ico", ReadSourceFile("res/kelvorant.ico"));
  return files;
}

const kvplat::EmbeddedFile *ScriptFiles::Table() {
  table_.clear();
  for (std::size_t i = 0; i < names_.size(); ++i) {
    table_.push_back({names_[i].c_str(), reinterpret_cast<const unsigned char *>(contents_[i].data()),
                      contents_[i].size()});
  }
  table_.push_back({nullptr, nullptr, 0});
  return table_.data();
}

void ScriptFiles::Register() { kvplat::RegisterModuleResources(Table()); }

std::string ReadSourceFile(const std::string &relativePath) {
  std::ifstream in(std::string(KV_SOURCE_DIR) + "/" + relativePath, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + relativePath);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}
