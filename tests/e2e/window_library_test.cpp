// The window front end's library, kelvorant-window.so beside the program: a headless run maps neither it nor
// FLTK nor an X library; a window asked for loads it from the program's own folder only (not the current
// directory, not the library path), and only a library that no other user can have written. Anything else
// stops the start with one line that names the library and says why, and status 2.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <functional>
#include <thread>

#include "harness.h"

namespace {

namespace fs = std::filesystem;
using kvtest::RunResult;
using kvtest::Sandbox;

constexpr char kLibrary[] = "kelvorant-window.so";

fs::path Built(const char *name) { return fs::path(KV_BUILD_DIR) / name; }

std::string Replace(std::string text, const std::string &from, const std::string &to) {
  for (size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size()) text.replace(at, from.size(), to);
  return text;
}

// The files that a running process maps, one a line of /proc/PID/maps that names one.
std::vector<std::string> MappedFiles(int pid) {
  std::vector<std::string> files;
  std::ifstream maps("/proc/" + std::to_string(pid) + "/maps");
  for (std::string line; std::getline(maps, line);) {
    const size_t slash = line.find('/');
    if (slash != std::string::npos) files.push_back(line.substr(slash));
  }
  return files;
}

bool HasLine(const fs::path &file) {
  std::ifstream in(file);
  std::string line;
  return std::getline(in, line) && !in.eof();
}

TEST(WindowLibrary, AHeadlessRunMapsNeitherItNorFltkNorAnXLibrary) {
  Sandbox box;
  // The dump is written once the dialog is up, so start-up and the driver are behind; then the run sleeps.
  const int pid = box.Start("demo", "dump\nsleep 20000\n");
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!HasLine(box.Dir() / "dump.jsonl") && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  const std::vector<std::string> files = MappedFiles(pid);
  ::kill(pid, SIGKILL);
  box.Wait(pid);

  ASSERT_TRUE(std::any_of(files.begin(), files.end(), [](const std::string &f) { return f.ends_with("/KELVORANT.sys"); }))
      << "the run had not reached its dialog: the driver is not mapped";
  for (const std::string &file : files) {
    for (const char *library : {kLibrary, "libfltk", "libX11", "libXext", "libXft", "libxcb", "libfontconfig"})
      EXPECT_EQ(file.find(library), std::string::npos) << "a headless run maps " << file;
  }
}

TEST(WindowLibrary, IsLoadedFromTheProgramsFolderOnlyAndOnlyWhenNoOtherUserCanHaveWrittenIt) {
  Sandbox box;
  // The program runs from a folder of its own; the current directory is the sandbox.
  const fs::path folder = box.Dir() / "program";
  const fs::path library = folder / kLibrary;
  fs::create_directory(folder);
  fs::permissions(folder, fs::perms(0755));
  fs::copy_file(Built("kelvorant"), folder / "kelvorant");
  box.UseProgram(folder / "kelvorant");
  const auto copyAs = [&](const fs::path &from, int mode) {
    fs::copy_file(from, library);
    fs::permissions(library, fs::perms(mode));
  };
  const auto nobody = kvtest::Nobody();

  const struct {
    const char *what;
    std::function<void()> make;
    const char *why;  // after "kelvorant: cannot open a window: "; <LIB> is the library, <DIR> its folder
    bool whole = true;  // the line is `why` whole, else it begins with it
    bool asRoot = false;  // needs root and the user nobody
  } cases[] = {
      {"missing, though the current directory and LD_LIBRARY_PATH hold one",
       [&] { fs::copy_file(Built(kLibrary), box.Dir() / kLibrary); },
       "the window library <LIB> is missing"},
      {"another user's link to the built library",
       [&] {
         fs::create_symlink(Built(kLibrary), library);
         ASSERT_EQ(::lchown(library.c_str(), nobody->first, nobody->second), 0);
       },
       "the window library <LIB> is a symbolic link that belongs to user 65534 (nobody), and is not followed", true,
       true},
      // Root's own link is followed, to a library that no other user can have changed.
      {"root's link to the built library", [&] { fs::create_symlink(Built(kLibrary), library); }, "DISPLAY is not set"},
      {"a folder", [&] { fs::create_directory(library); }, "the window library <LIB> is a folder, not a regular file"},
      {"a FIFO", [&] { ASSERT_EQ(::mkfifo(library.c_str(), 0644), 0); },
       "the window library <LIB> is a FIFO, not a regular file"},
      {"writable by its group", [&] { copyAs(Built(kLibrary), 0775); },
       "the window library <LIB> may be written by other users (mode 0775)"},
      {"writable by everyone", [&] { copyAs(Built(kLibrary), 0666); },
       "the window library <LIB> may be written by other users (mode 0666)"},
      {"another user's",
       [&] {
         copyAs(Built(kLibrary), 0755);
         ASSERT_EQ(::chown(library.c_str(), nobody->first, nobody->second), 0);
       },
       "the window library <LIB> belongs to user 65534 (nobody), not to this process's user or root", true, true},
      {"in a folder that others may write",
       [&] {
         copyAs(Built(kLibrary), 0755);
         fs::permissions(folder, fs::perms(0777));
       },
       "the window library <LIB> lies under <DIR>, which may be written by other users (mode 0777)"},
      {"not a library", [&] { box.Write("program/kelvorant-window.so", std::string(4096, 'x')); },
       "the window library <LIB> cannot be loaded: <LIB>: invalid ELF header"},
      {"cut off",
       [&] {
         copyAs(Built(kLibrary), 0755);
         fs::resize_file(library, 4096);  // the program headers, not the code
       },
       "the window library <LIB> cannot be loaded: it is truncated: a loadable segment ends at byte ", false},
      {"a library without the entry point", [&] { copyAs(Built("KELVORANT.sys"), 0755); },
       "the window library <LIB> has no entry point KvCreateWindowFrontEnd"},
      // The built library loads (the program exports all that it imports) and then finds no display.
      {"the built library", [&] { copyAs(Built(kLibrary), 0755); }, "DISPLAY is not set"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    if (c.asRoot && !nobody) continue;
    fs::remove_all(library);
    fs::remove(box.Dir() / kLibrary);
    c.make();
    const RunResult result =
        box.Run("demo", "", {{"KELVORANT_UI", "window"}, {"LD_LIBRARY_PATH", KV_BUILD_DIR}});
    fs::permissions(folder, fs::perms(0755));
    const std::string line = "kelvorant: cannot open a window: " +
                             Replace(Replace(c.why, "<LIB>", library.string()), "<DIR>", folder.string());
    if (c.whole) {
      EXPECT_EQ(result.err, line + "\n");
    } else {
      EXPECT_EQ(result.err.rfind(line, 0), 0u) << result.err;
      EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
    }
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(result.out, "") << "the program did not start";
    EXPECT_FALSE(box.ServiceInstalled());
  }
}

}  // namespace
