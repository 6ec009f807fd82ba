// The process entry point. It registers the executable's resources, chooses the front end from
// KELVORANT_UI and calls the application's WinMain, like the C runtime start-up of a Windows program.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "command_line.h"
#include "headless.h"
#include "kvplat/diag.h"
#include "kvplat/frontend.h"
#include "kvplat/resources.h"
#include "window_frontend.h"

extern const kvplat::EmbeddedFile kv_embedded_resources[];

namespace {

constexpr int kExitPlatformFailure = 2;
constexpr int kExitScriptError = 3;

std::string Env(const char *name) {
  const char *value = std::getenv(name);
  return value ? value : "";
}

bool ReadFile(const std::string &path, std::string *text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream s;
  s << in.rdbuf();
  *text = s.str();
  return true;
}

// The front end named by the environment, or null after saying why.
std::unique_ptr<kvplat::FrontEnd> ChooseFrontEnd(std::FILE **dumpFile) {
  std::string ui = Env("KELVORANT_UI");
  if (ui.empty()) ui = Env("DISPLAY").empty() ? "headless" : "window";
  if (ui == "window") {
    std::string error;
    auto frontEnd = kvplat::MakeWindowFrontEnd(&error);
    if (!frontEnd) kvplat::Diag("cannot open a window: %s", error.c_str());
    return frontEnd;
  }
  if (ui != "headless") {
    kvplat::Diag("KELVORANT_UI must be \"window\" or \"headless\", not \"%s\"", ui.c_str());
    return nullptr;
  }
  std::string script;
  if (std::string path = Env("KELVORANT_UI_SCRIPT"); !path.empty() && !ReadFile(path, &script)) {
    kvplat::Diag("cannot read the script %s: %s", path.c_str(), std::strerror(errno));
    return nullptr;
  }
  *dumpFile = stderr;
  if (std::string path = Env("KELVORANT_UI_DUMP"); !path.empty()) {
    *dumpFile = std::fopen(path.c_str(), "w");
    if (!*dumpFile) {
      kvplat::Diag("cannot write %s: %s", path.c_str(), std::strerror(errno));
      return nullptr;
    }
  }
  return kvplat::MakeHeadlessFrontEnd(script, *dumpFile);
}

}  // namespace

int main(int argc, char **argv) {
  kvplat::TakeCommandLineVariables(&argc, argv);
  kvplat::RegisterModuleResources(kv_embedded_resources);

  std::FILE *dumpFile = nullptr;
  std::unique_ptr<kvplat::FrontEnd> frontEnd = ChooseFrontEnd(&dumpFile);
  if (!frontEnd) return kExitPlatformFailure;
  kvplat::SetActiveFrontEnd(frontEnd.get());

  std::string commandLine;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) commandLine += ' ';
    commandLine += argv[i];
  }

  int status = WinMain(GetModuleHandleA(nullptr), nullptr, commandLine.data(), SW_SHOWNORMAL);

  std::fflush(stdout);
  if (frontEnd->Failed()) status = kExitScriptError;
  kvplat::SetActiveFrontEnd(nullptr);
  frontEnd.reset();
  if (dumpFile && dumpFile != stderr) std::fclose(dumpFile);
  return status;
}
