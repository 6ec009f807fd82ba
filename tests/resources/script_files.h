// Module file tables for the tests: the program's own resource files read from the source tree, or
// scripts written inline.
#pragma once
#include <deque>
#include <string>
#include <vector>

#include "kvplat/embedded.h"

class ScriptFiles {
 public:
  ScriptFiles &Add(const std::string &name, const std::string &content);
  // res/kelvorant.rc, ui/resource.h and res/kelvorant.ico, as the program embeds them.
  static ScriptFiles Program();
  // The table, ended by a null entry; valid while this object lives and is not changed.
  const kvplat::EmbeddedFile *Table();
  // Registers the table as the executable's resources.
  void Register();

 private:
  std::deque<std::string> names_, contents_;
  std::vector<kvplat::EmbeddedFile> table_;
};

std::string ReadSourceFile(const std::string &relativePath);
