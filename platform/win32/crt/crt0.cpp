// The process entry point. It registers the executable's resources, reads the command line (command_line.h)
// and answers --help and --version at once (about.h); else it does with root what needs root and gives it
// up (rights.h), chooses the front end from KELVORANT_UI (the window front end from its library
// beside the program, kvplat/window_library.h), opens the run's files (run_files.h) and calls the
// application's WinMain, like the C runtime start-up of a Windows program.
#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <new>
#include <string>

#include "about.h"
#include "command_line.h"
#include "headless.h"
#include "kvplat/diag.h"
#include "kvplat/frontend.h"
#include "kvplat/resources.h"
#include "kvplat/window_library.h"
#include "rights.h"
#include "run_files.h"

extern const kvplat::EmbeddedFile kv_embedded_resources[];

namespace {

using kvplat::kExitOutputFailure;
using kvplat::kExitPlatformFailure;
using kvplat::kExitScriptError;

std::string Env(const char *name) {
  const char *value = std::getenv(name);
  return value ? value : "";
}

// The front end that KELVORANT_UI names, or null after saying why.
std::unique_ptr<kvplat::FrontEnd> ChooseFrontEnd(kvplat::RunFiles *files, std::FILE **dumpFile) {
  std::string ui = Env("KELVORANT_UI");
  if (ui.empty()) ui = Env("DISPLAY").empty() ? "headless" : "window";
  if (ui != "window" && ui != "headless") {
    kvplat::Diag("KELVORANT_UI must be \"window\" or \"headless\", not \"%s\"", ui.c_str());
    return nullptr;
  }
  const bool headless = ui == "headless";
  if (!kvplat::OpenRunFiles(headless, files)) return nullptr;
  if (!headless) {
    std::string error;
    auto frontEnd = kvplat::LoadWindowFrontEnd(&error);
    if (!frontEnd) kvplat::Diag("cannot open a window: %s", error.c_str());
    return frontEnd;
  }
  *dumpFile = stderr;
  std::string dumpName = "standard error";
  if (files->dump.valid()) {
    *dumpFile = ::fdopen(files->dump.get(), "w");
    if (!*dumpFile) {
      kvplat::Diag("cannot write the JSON dump %s: %s", files->dumpPath.c_str(), std::strerror(errno));
      return nullptr;
    }
    files->dump.release();  // the stream owns it now
    dumpName = files->dumpPath;
  }
  return kvplat::MakeHeadlessFrontEnd(files->script, *dumpFile, dumpName, *dumpFile != stderr && !files->dumpKept);
}

// An exception that nothing caught is a fault of the program or the platform. Its text may quote an input,
// so it is said as every line of the platform is, through Diag, before the process aborts as
// std::terminate's own handler would (which writes the text raw).
[[noreturn]] void SayUncaughtAndAbort() {
  try {
    if (std::exception_ptr uncaught = std::current_exception()) std::rethrow_exception(uncaught);
    kvplat::Diag("terminated without an exception");
  } catch (const std::exception &e) {
    kvplat::Diag("uncaught exception: %s", e.what());
  } catch (...) {
    kvplat::Diag("uncaught exception");
  }
  std::abort();
}

int Run() {
  kvplat::RunFiles files;
  std::FILE *dumpFile = nullptr;
  std::unique_ptr<kvplat::FrontEnd> frontEnd = ChooseFrontEnd(&files, &dumpFile);
  if (!frontEnd) return kExitPlatformFailure;
  kvplat::SetActiveFrontEnd(frontEnd.get());

  char commandLine[] = "";  // every argument was the platform's
  int status = WinMain(GetModuleHandleA(nullptr), nullptr, commandLine, SW_SHOWNORMAL);

  std::fflush(stdout);
  if (frontEnd->Failed()) status = kExitScriptError;
  kvplat::SetActiveFrontEnd(nullptr);
  frontEnd.reset();
  if (dumpFile && dumpFile != stderr && std::fclose(dumpFile) != 0) {
    kvplat::ReportOutputFailure("the JSON dump", files.dumpPath.c_str(), errno);
  }
  if (kvplat::OutputFailed()) status = kExitOutputFailure;
  kvplat::EndByTerminationSignal();  // a signal ended the run: the process ends by it, for its parent to see
  return status;
}

}  // namespace

int main(int argc, char **argv) {
  std::set_terminate(SayUncaughtAndAbort);
  kvplat::RegisterModuleResources(kv_embedded_resources);
  const kvplat::CommandLine commandLine = kvplat::ReadCommandLine(argc, argv);
  switch (commandLine.action) {
    case kvplat::CommandLine::Action::kRefuse:
      kvplat::Diag("%s", commandLine.mistake.c_str());
      std::fputs("Try 'kelvorant --help' for more information.\n", stderr);
      return kExitPlatformFailure;
    case kvplat::CommandLine::Action::kHelp:
      return kvplat::PrintUsage();
    case kvplat::CommandLine::Action::kVersion:
      return kvplat::PrintVersion();
    case kvplat::CommandLine::Action::kRun:
      break;
  }
  if (const std::string empty = kvplat::EmptyVariable(); !empty.empty()) {
    kvplat::Diag("%s is set but empty: unset it for its default, or give it a value", empty.c_str());
    return kExitPlatformFailure;
  }
  if (!kvplat::CatchTerminationSignals()) return kExitPlatformFailure;
  if (!kvplat::PrepareRights(commandLine.unprivileged)) return kExitPlatformFailure;
  try {
    return Run();
  } catch (const std::bad_alloc &) {
    // Memory ran out: the run ends at once, leaving no record of a driver that runs nowhere.
    kvplat::ReleaseMemoryReserve();
    kvplat::Diag("not enough memory %s", kvplat::WhatRanOutOfMemory().c_str());
    kvplat::EndRunNow(kExitPlatformFailure);
  }
}
