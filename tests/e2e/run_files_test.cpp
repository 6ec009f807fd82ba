// The files a run is given, as a careless or hostile environment hands them over: inputs that are devices,
// FIFOs, endless or unreadable; outputs that are the run's own inputs, another user's links, full devices;
// machines that hold no function. Each is refused at once (nothing hangs, nothing grows, no input is
// touched) with a line that names the file and why, or served with a line that says what is missing.
#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <functional>

#include "harness.h"

namespace {

namespace fs = std::filesystem;
using kvtest::RunResult;
using kvtest::Sandbox;

const std::string kNoService = kvtest::kNoService;

std::string Replace(std::string text, const std::string &from, const std::string &to) {
  for (size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size()) text.replace(at, from.size(), to);
  return text;
}

// A file of `size` bytes that takes no room: all zeros, without a line end.
void Sparse(const fs::path &path, uintmax_t size) {
  std::ofstream(path).close();
  fs::resize_file(path, size);
}

void Fifo(const fs::path &path) { ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0); }

// The start of an executable: bytes that are no text, NULs and a line end among them.
constexpr char kBinary[] = "\x7f" "ELF\x02\x01\x01\0\0\0\n\x90\xff\xfe";

const std::string kDemoDump = "00:00.0 Host bridge\n00: 86 80 00 2a 06 01 90 20 0c 00 00 06 00 00 00 00\n";

TEST(RunFiles, AMachineInputThatIsNoRegularFileOrHasNoEndIsRefusedAtOnce) {
  std::string folders;  // past 1,024 characters, which the driver's line holds
  for (int i = 0; i < 6; ++i) folders += (i ? "/" : "") + std::string(200, 'd');
  const std::string deep = "<DIR>/" + folders + "/missing.txt";
  const std::string deepWhy = deep + ": cannot open: No such file or directory";
  const struct {
    const char *what;
    const char *machine;  // <DIR> is the sandbox
    std::function<void(const Sandbox &)> make;
    const char *why;  // after "kelvorant: KELVORANT.sys: "
  } cases[] = {
      {"a device", "/dev/zero", nullptr, "/dev/zero: is a character device, not a regular file"},
      {"a link to a device", "<DIR>/zero.txt", [](const Sandbox &b) { fs::create_symlink("/dev/zero", b.Dir() / "zero.txt"); },
       "<DIR>/zero.txt: is a character device, not a regular file"},
      {"a FIFO", "<DIR>/m.txt", [](const Sandbox &b) { Fifo(b.Dir() / "m.txt"); }, "<DIR>/m.txt: is a FIFO, not a regular file"},
      {"a FIFO named as a machine file", "<DIR>/m.json", [](const Sandbox &b) { Fifo(b.Dir() / "m.json"); },
       "<DIR>/m.json: is a FIFO, not a regular file"},
      {"a machine file whose dump is a device", "<DIR>/m.json",
       [](const Sandbox &b) { b.Write("m.json", R"({ "dump": "/dev/zero" })"); },
       "/dev/zero: is a character device, not a regular file"},
      {"a machine file whose dump is a FIFO", "<DIR>/m.json",
       [](const Sandbox &b) {
         b.Write("m.json", R"({ "dump": "fifo" })");
         Fifo(b.Dir() / "fifo");
       },
       "<DIR>/fifo: is a FIFO, not a regular file"},
      {"a file that fails to read", "/proc/self/mem", nullptr, "/proc/self/mem: cannot read: Input/output error"},
      {"a missing file past 1,024 characters", deep.c_str(),
       [&](const Sandbox &b) { fs::create_directories(b.Dir() / folders); },
       deepWhy.c_str()},
      {"one endless line", "<DIR>/m.txt", [](const Sandbox &b) { Sparse(b.Dir() / "m.txt", uintmax_t{1} << 30); },
       "<DIR>/m.txt: line 1 is longer than 65536 bytes (is this a text file?)"},
      {"a dump beyond its bound", "<DIR>/m.txt", [](const Sandbox &b) { Sparse(b.Dir() / "m.txt", uintmax_t{5} << 30); },
       "<DIR>/m.txt: is 5368709120 bytes long, more than the 4294967296 bytes that are read from such a file"},
      {"a machine file beyond its bound", "<DIR>/m.json",
       [](const Sandbox &b) { Sparse(b.Dir() / "m.json", (uintmax_t{64} << 20) + 1); },
       "<DIR>/m.json: is 67108865 bytes long, more than the 67108864 bytes that are read from such a file"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    Sandbox box;
    if (c.make) c.make(box);
    const RunResult result = box.Run(Replace(c.machine, "<DIR>", box.Dir().string()), "");
    EXPECT_EQ(result.out, kvtest::RefusedStart(31));
    EXPECT_EQ(result.err, "kelvorant: KELVORANT.sys: " + Replace(c.why, "<DIR>", box.Dir().string()) + "\n");
    kvtest::ExpectFailedStart(result, box);
  }
}

TEST(RunFiles, AScriptThatIsNoRegularFileStopsTheStart) {
  const struct {
    const char *what;
    const char *script;
    std::function<void(const Sandbox &)> make;
    const char *why;
  } cases[] = {
      {"a device", "/dev/zero", nullptr, "is a character device, not a regular file"},
      {"a FIFO", "<DIR>/s.fifo", [](const Sandbox &b) { Fifo(b.Dir() / "s.fifo"); }, "is a FIFO, not a regular file"},
      {"a folder", "<DIR>", nullptr, "is a folder, not a regular file"},
      {"a script beyond its bound", "<DIR>/long.txt", [](const Sandbox &b) { Sparse(b.Dir() / "long.txt", 2 << 20); },
       "is 2097152 bytes long, more than the 1048576 bytes that are read from such a file"},
      {"no such file", "<DIR>/none.txt", nullptr, "cannot open: No such file or directory"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    Sandbox box;
    if (c.make) c.make(box);
    const std::string script = Replace(c.script, "<DIR>", box.Dir().string());
    const RunResult result = box.Run("demo", "", {{"KELVORANT_UI_SCRIPT", script}});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(result.err, "kelvorant: cannot read the script " + script + ": " + c.why + "\n");
    EXPECT_EQ(result.out, "") << "the program does not start";
    EXPECT_TRUE(result.lines.empty());
  }
}

TEST(RunFiles, AFileThatTheRunWritesIsNeverOneOfItsInputs) {
  // The script and the machine's own file are compared with the outputs before the program starts; the
  // dump that a machine file names, and the driver module, when they are opened: then the run ends at once,
  // leaving no record behind.
  const std::string kNever = ": a file that the run writes is never one of its inputs\n";
  const struct {
    const char *what;
    const char *machine;  // in the sandbox
    std::map<std::string, std::string> env;  // paths in the sandbox
    const char *said;  // <DIR> is the sandbox
    bool late = false;
  } cases[] = {
      {"the JSON dump as the machine file", "m.json", {{"KELVORANT_UI_DUMP", "m.json"}},
       "KELVORANT_UI_DUMP names <DIR>/m.json, which is the machine file (KELVORANT_MACHINE)"},
      {"the trace as the machine file", "m.json", {{"KELVORANT_TRACE", "m.json"}},
       "KELVORANT_TRACE names <DIR>/m.json, which is the machine file (KELVORANT_MACHINE)"},
      {"the JSON dump as the dump, by another name", "d.txt@0000", {{"KELVORANT_UI_DUMP", "hard-link.txt"}},
       "KELVORANT_UI_DUMP names <DIR>/hard-link.txt, which is the dump (KELVORANT_MACHINE)"},
      {"the trace as the dump that the machine file names", "m.json", {{"KELVORANT_TRACE", "d.txt"}},
       "KELVORANT.sys: <DIR>/d.txt is the trace (KELVORANT_TRACE)", true},
      {"the JSON dump as the dump that the machine file names", "m.json", {{"KELVORANT_UI_DUMP", "d.txt"}},
       "KELVORANT.sys: <DIR>/d.txt is the JSON dump (KELVORANT_UI_DUMP)", true},
      {"the JSON dump as the driver module", "m.json", {{"KELVORANT_UI_DUMP", "KELVORANT.sys"}},
       "<DIR>/KELVORANT.sys is the JSON dump (KELVORANT_UI_DUMP)", true},
      {"the JSON dump as the script", "m.json", {{"KELVORANT_UI_DUMP", "script.txt"}},
       "KELVORANT_UI_DUMP names <DIR>/script.txt, which is the script (KELVORANT_UI_SCRIPT)"},
      {"the trace as the script, through a link", "m.json", {{"KELVORANT_TRACE", "script-link.txt"}},
       "KELVORANT_TRACE names <DIR>/script-link.txt, which is the script (KELVORANT_UI_SCRIPT)"},
      {"the trace as a service record, to be", "m.json", {{"KELVORANT_TRACE", "scm/kelvorant.service"}},
       "KELVORANT_TRACE names <DIR>/scm/kelvorant.service, which lies in the service database <DIR>/scm"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    Sandbox box;
    box.Write("d.txt", kDemoDump);
    box.Write("m.json", R"({ "dump": "d.txt" })");
    fs::create_hard_link(box.Dir() / "d.txt", box.Dir() / "hard-link.txt");
    std::map<std::string, std::string> env;
    for (const auto &[name, file] : c.env) env[name] = (box.Dir() / file).string();
    const std::string script = "dump\n";
    box.Write("script.txt", script);
    fs::create_symlink(box.Dir() / "script.txt", box.Dir() / "script-link.txt");
    fs::create_directory(box.Dir() / "scm");
    fs::permissions(box.Dir() / "scm", fs::perms::owner_all);
    const std::string driver = kvtest::ReadText(box.Dir() / "KELVORANT.sys");
    const RunResult result = box.Run((box.Dir() / c.machine).string(), script, env);
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(result.err, "kelvorant: " + Replace(c.said, "<DIR>", box.Dir().string()) + kNever);
    EXPECT_EQ(result.out, c.late ? kNoService : "");
    EXPECT_FALSE(box.ServiceInstalled());
    EXPECT_EQ(kvtest::ReadText(box.Dir() / "KELVORANT.sys"), driver);
    EXPECT_EQ(kvtest::ReadText(box.Dir() / "d.txt"), kDemoDump);
    EXPECT_EQ(kvtest::ReadText(box.Dir() / "m.json"), R"({ "dump": "d.txt" })");
    EXPECT_EQ(kvtest::ReadText(box.Dir() / "script.txt"), script);
  }

  // A function's config file that the HAL holds open (here of a sysfs:DIR folder) is an input too.
  Sandbox served;
  const fs::path config = served.Dir() / "fs" / "0000:00:00.0" / "config";
  fs::create_directories(config.parent_path());
  served.Write("fs/0000:00:00.0/config", std::string("\x86\x80\x00\x29", 4) + std::string(60, '\0'));
  const RunResult trace =
      served.Run("sysfs:" + (served.Dir() / "fs").string(), "", {{"KELVORANT_TRACE", config.string()}});
  EXPECT_EQ(trace.exitCode, 2);
  EXPECT_EQ(trace.err, "kelvorant: KELVORANT_TRACE names " + config.string() +
                           ", which is the config file of the served function 0000:00:00.0" + kNever);
  EXPECT_EQ(fs::file_size(config), 64u);

  Sandbox box;
  const fs::path both = box.Dir() / "out.txt";
  const RunResult result = box.Run("demo", "dump\n", {{"KELVORANT_UI_DUMP", both.string()}, {"KELVORANT_TRACE", both.string()}});
  EXPECT_EQ(result.exitCode, 2);
  EXPECT_EQ(result.err, "kelvorant: KELVORANT_TRACE names " + both.string() +
                            ", which is the JSON dump (KELVORANT_UI_DUMP) too: each output needs a file of its own\n");
}

TEST(RunFiles, AnOutputThatCannotBeOpenedStopsTheStart) {
  const auto nobody = kvtest::Nobody();
  std::string deep;  // a path past 1,024 characters, whose line still ends in its reason
  for (int i = 0; i < 6; ++i) deep += (i ? "/" : "") + std::string(200, 'd');
  const struct {
    const char *what;
    const char *variable;
    const char *file;  // in the sandbox
    std::function<void(const Sandbox &)> make;
    const char *why;
    bool needsNobody = false;
  } cases[] = {
      {"a FIFO that no process reads", "KELVORANT_TRACE", "t.fifo", [](const Sandbox &b) { Fifo(b.Dir() / "t.fifo"); },
       "is a FIFO that no process reads"},
      {"a folder", "KELVORANT_UI_DUMP", "folder", [](const Sandbox &b) { fs::create_directory(b.Dir() / "folder"); },
       "is a folder, not a file to write"},
      {"a folder deep down", "KELVORANT_TRACE", deep.c_str(),
       [&](const Sandbox &b) { fs::create_directories(b.Dir() / deep); }, "is a folder, not a file to write"},
      {"another user's link", "KELVORANT_TRACE", "t.txt",
       [&](const Sandbox &b) {
         b.Write("victim.txt", "root's file\n");
         fs::create_symlink(b.Dir() / "victim.txt", b.Dir() / "t.txt");
         ASSERT_EQ(::lchown((b.Dir() / "t.txt").c_str(), nobody->first, nobody->second), 0);
       },
       "is a symbolic link that belongs to <THEM>, and is not followed", true},
      {"a file of the kernel's interface", "KELVORANT_UI_DUMP", "comm",
       [](const Sandbox &b) { fs::create_symlink("/proc/self/comm", b.Dir() / "comm"); },
       "is a file of the kernel's procfs, not a file to write to"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    if (c.needsNobody && !nobody) continue;
    Sandbox box;
    c.make(box);
    const fs::path file = box.Dir() / c.file;
    const RunResult result = box.Run("demo", "dump\n", {{c.variable, file.string()}});
    EXPECT_EQ(result.exitCode, 2);
    const std::string what = std::string(c.variable) == "KELVORANT_TRACE" ? "the trace" : "the JSON dump";
    const std::string them = nobody ? "user " + std::to_string(nobody->first) + " (nobody)" : "";
    EXPECT_EQ(result.err, "kelvorant: cannot write " + what + " " + file.string() + ": " + Replace(c.why, "<THEM>", them) + "\n");
    EXPECT_EQ(result.out, "");
    EXPECT_FALSE(fs::exists(box.Dir() / "dump.jsonl")) << "the dump that the start made goes with it";
    if (fs::exists(box.Dir() / "victim.txt")) {
      EXPECT_EQ(kvtest::ReadText(box.Dir() / "victim.txt"), "root's file\n");
    }
  }

  // A link of this process's own user is followed.
  Sandbox box;
  fs::create_symlink(box.Dir() / "real-trace.txt", box.Dir() / "t.txt");
  const RunResult result = box.Run("demo", "", {{"KELVORANT_TRACE", (box.Dir() / "t.txt").string()}});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_FALSE(kvtest::ReadText(box.Dir() / "real-trace.txt").empty());
}

TEST(RunFiles, AnOutputNamedAsADescriptorOfTheRunIsThatDescriptor) {
  // /dev/stdout, /dev/fd/N: the descriptor as the shell set it up, a pipe or a file appended to, and never
  // emptied; its link's text ("pipe:[4026]") is no path to follow. One the run cannot write is refused.
  const struct {
    const char *what;
    const char *variable, *file;
    const char *shell;  // runs "$K", the built kelvorant, in the sandbox
    const char *written;  // the file that receives the output, or null when the start is refused
    const char *why = "";
  } cases[] = {
      {"the dump to standard output, a pipe", "KELVORANT_UI_DUMP", "/dev/stdout", "\"$K\" | cat > out.txt", "out.txt"},
      {"the dump to a file that the shell appends to", "KELVORANT_UI_DUMP", "/dev/fd/3", "exec \"$K\" 3>>out.txt", "out.txt"},
      {"the trace to a pipe", "KELVORANT_TRACE", "/proc/self/fd/4", "\"$K\" 4>&1 >/dev/null | cat > out.txt", "out.txt"},
      {"a descriptor that is not open", "KELVORANT_TRACE", "/dev/fd/9", "exec \"$K\"", nullptr,
       "cannot open: Bad file descriptor"},
      {"a descriptor open for reading", "KELVORANT_UI_DUMP", "/dev/fd/5", "exec \"$K\" 5</dev/null", nullptr,
       "is a descriptor that is open for reading only"},
  };
  Sandbox quiet;
  const size_t scanRequests = quiet.Run("demo", "").trace.size();
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    Sandbox box;
    box.Write("out.txt", "an old line\n");
    box.Write("run.sh", "#!/bin/bash\nK=" + (kvtest::BuildDir() / "kelvorant").string() + "\n" + c.shell + "\n");
    fs::permissions(box.Dir() / "run.sh", fs::perms(0755));
    box.UseProgram(box.Dir() / "run.sh");
    const RunResult result = box.Run("demo", "dump\ndump\n", {{c.variable, c.file}});
    if (!c.written) {
      const std::string what = std::string(c.variable) == "KELVORANT_TRACE" ? "the trace" : "the JSON dump";
      EXPECT_EQ(result.exitCode, 2);
      EXPECT_EQ(result.err, "kelvorant: cannot write " + what + " " + c.file + ": " + c.why + "\n");
      continue;
    }
    EXPECT_EQ(result.exitCode, 0) << result.err;
    const std::vector<std::string> lines = kvtest::Lines(kvtest::ReadText(box.Dir() / c.written));
    const bool kept = std::string(c.shell).find(">>") != std::string::npos;
    EXPECT_EQ(!lines.empty() && lines[0] == "an old line", kept);
    const auto dumps = std::count_if(lines.begin(), lines.end(), [](const std::string &l) { return l.starts_with("{\"dump\""); });
    const auto requests = std::count_if(lines.begin(), lines.end(), [](const std::string &l) { return l.starts_with("IOCTL_"); });
    if (std::string(c.variable) == "KELVORANT_TRACE") {
      EXPECT_GE(static_cast<size_t>(requests), scanRequests);
    } else {
      EXPECT_EQ(dumps, 2);
    }
  }
}

TEST(RunFiles, ANameThatIsNotUtf8NamesItsOwnFile) {
  // Latin-1 names cross the service key's Windows strings unchanged: the dump is served and the trace
  // written, each in the file named, not in the one whose name is the same but for U+FFFD.
  Sandbox box;
  const fs::path dump = box.Write("d\xe9.txt", kDemoDump), trace = box.Dir() / "t\xe9.txt";
  box.Write("d\xef\xbf\xbd.txt", kDemoDump + "00:01.0 x\n00: 86 80 01 2a\n");
  const fs::path lookalike = box.Write("t\xef\xbf\xbd.txt", "kept\n");
  const RunResult result = box.Run(dump.string(), "dump\n", {{"KELVORANT_TRACE", trace.string()}});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  ASSERT_EQ(result.Dumps().size(), 1u);
  EXPECT_EQ(result.Dumps()[0]["lists"]["1000"]["rows"].size(), 1u) << "the Latin-1 dump is served";
  EXPECT_FALSE(kvtest::ReadText(trace).empty());
  EXPECT_EQ(kvtest::ReadText(lookalike), "kept\n");
}

// Starts the built kelvorant from a shell that set `limit` first (ulimit's words).
void RunLimited(Sandbox &box, const std::string &limit) {
  box.Write("limited.sh", "#!/bin/sh\nulimit " + limit + " && exec " + (kvtest::BuildDir() / "kelvorant").string() + "\n");
  fs::permissions(box.Dir() / "limited.sh", fs::perms(0755));
  box.UseProgram(box.Dir() / "limited.sh");
}

TEST(RunFiles, AnOutputThatFailsToBeWrittenEndsTheRunWithStatus4) {
  // The JSON dump fails at the first action's line: the run ends there (no click follows), as after its
  // last action, so that the program still removes its service. The trace fails during the first scan,
  // before any action.
  // The same past the file size limit (ulimit -f), which the trace reaches during the scan.
  const std::string script = "dump\nclick-row 1000 3\ndump\n";
  Sandbox quiet;
  const size_t scanRequests = quiet.Run("demo", "").trace.size();
  for (const auto &[variable, limited] : {std::pair{"KELVORANT_UI_DUMP", false}, {"KELVORANT_TRACE", false},
                                          {"KELVORANT_TRACE", true}}) {
    SCOPED_TRACE(variable);
    Sandbox box;
    if (limited) RunLimited(box, "-f 8");
    const std::string file = limited ? (box.Dir() / "trace.txt").string() : "/dev/full";
    const RunResult result = box.Run("demo", script, {{variable, file}});
    EXPECT_EQ(result.exitCode, 4);
    const std::string what = std::string(variable) == "KELVORANT_TRACE" ? "the trace" : "the JSON dump";
    const char *why = limited ? "File too large" : "No space left on device";
    EXPECT_EQ(result.err, "kelvorant: cannot write " + what + " " + file + ": " + why + "\n") << "once";
    EXPECT_EQ(result.out, kNoService);
    EXPECT_FALSE(box.ServiceInstalled());
    if (std::string(variable) == "KELVORANT_UI_DUMP") {
      EXPECT_EQ(result.trace.size(), scanRequests) << "no click";
    } else {
      EXPECT_TRUE(result.lines.empty()) << "no action";
    }
  }
}

// A dump of one function in each of the domains `count` down to 1.
std::string OtherDomainsDump(int count) {
  std::string text;
  for (int domain = count; domain > 0; --domain) {
    char header[32];
    std::snprintf(header, sizeof header, "%04x:00:00.0 x\n00: 11\n\n", domain);
    text += header;
  }
  return text;
}

TEST(RunFiles, AMachineWithoutAFunctionIsServedWithALineThatSaysWhy) {
  const struct {
    const char *what;
    const char *machine;
    std::map<std::string, std::string> files;
    const char *why;  // after "kelvorant: KELVORANT.sys: "
  } cases[] = {
      {"an empty dump", "<DIR>/m.txt", {{"m.txt", ""}},
       "<DIR>/m.txt: no PCI function of domain 0000 in this file (an lspci dump has a line \"BB:DD.F ...\" before "
       "each function's hex lines)"},
      {"binary data", "<DIR>/m.txt", {{"m.txt", std::string(kBinary, sizeof kBinary - 1)}},
       "<DIR>/m.txt: no PCI function of domain 0000 in this file (an lspci dump has a line \"BB:DD.F ...\" before "
       "each function's hex lines)"},
      {"a machine file named as a dump", "<DIR>/m.txt", {{"m.txt", "\n  { \"functions\": [] }\n"}},
       "<DIR>/m.txt: no PCI function of domain 0000 in this file (it looks like a JSON machine file: such a file's "
       "name ends in .json)"},
      {"a dump of other domains, the highest first", "<DIR>/m.txt", {{"m.txt", OtherDomainsDump(10)}},
       "<DIR>/m.txt: no PCI function of domain 0000 in this file (it holds functions of domains 0001, 0002, 0003, "
       "0004, 0005, 0006, 0007, 0008 and 2 more: end the machine's name in @0001)"},
      {"an empty machine file", "<DIR>/m.json", {{"m.json", "{}"}}, "<DIR>/m.json: no PCI function of domain 0000 in this file"},
      {"the demo machine in another domain", "demo@0001", {}, "the demo machine has no PCI function of domain 0001 (only of domain 0000)"},
      {"an empty sysfs folder", "sysfs:<DIR>", {}, "<DIR> lists no PCI function of domain 0000"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    Sandbox box;
    for (const auto &[name, text] : c.files) box.Write(name, text);
    const RunResult result = box.Run(Replace(c.machine, "<DIR>", box.Dir().string()), "dump\n");
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.err, "kelvorant: KELVORANT.sys: " + Replace(c.why, "<DIR>", box.Dir().string()) + "\n");
    EXPECT_EQ(result.out, kNoService);
    ASSERT_EQ(result.Dumps().size(), 1u);
    EXPECT_TRUE(result.Dumps()[0]["lists"]["1000"]["rows"].empty());
  }
}

TEST(RunFiles, AMachineVariableThatNamesNoMachineStopsTheStart) {
  // Taken for "unset", each of these would serve this computer's hardware.
  const struct {
    const char *value;
    const char *said;
  } cases[] = {
      {"", "KELVORANT_MACHINE is set but empty: unset it to serve this computer (or the demo machine where it has no "
           "PCI function), or name sysfs, sysfs:DIR, demo or a file"},
      {"@0000", "KELVORANT_MACHINE is \"@0000\", a domain without a machine: name sysfs, sysfs:DIR, demo or a file "
                "before the @ (sysfs@0000 for this computer)"},
      {"sysfs:", "KELVORANT_MACHINE is \"sysfs:\", which names no folder after sysfs: (sysfs:DIR serves a folder laid "
                 "out like /sys/bus/pci/devices; sysfs alone serves this computer)"},
      {"sysfs:@0001", "KELVORANT_MACHINE is \"sysfs:@0001\", which names no folder after sysfs: (sysfs:DIR serves a "
                      "folder laid out like /sys/bus/pci/devices; sysfs alone serves this computer)"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.value);
    Sandbox box;
    // The harness leaves out a variable whose value is empty: this one is set through a shell.
    const std::string command = "cd " + box.Dir().string() + " && KELVORANT_MACHINE='" + c.value +
                                "' KELVORANT_UI=headless KELVORANT_SCM_DIR=" + (box.Dir() / "scm").string() + " " +
                                (kvtest::BuildDir() / "kelvorant").string() + " >out.txt 2>err.txt";
    const int status = std::system(command.c_str());
    EXPECT_EQ(WEXITSTATUS(status), 2);
    EXPECT_EQ(kvtest::ReadText(box.Dir() / "err.txt"), "kelvorant: " + std::string(c.said) + "\n");
    EXPECT_EQ(kvtest::ReadText(box.Dir() / "out.txt"), "");
  }
}

TEST(RunFiles, TheMachineFileAndItsDumpAreEachReadOnce) {
  Sandbox box;
  box.Write("d.txt", kDemoDump);
  box.Write("m.json", R"({ "dump": "d.txt" })");
  const int watcher = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  ASSERT_GE(watcher, 0);
  // The closes too: the kernel merges an event into the one before it when they are the same.
  const int machine = ::inotify_add_watch(watcher, (box.Dir() / "m.json").c_str(), IN_OPEN | IN_CLOSE_NOWRITE);
  const int dump = ::inotify_add_watch(watcher, (box.Dir() / "d.txt").c_str(), IN_OPEN | IN_CLOSE_NOWRITE);
  const RunResult result = box.Run((box.Dir() / "m.json").string(), "dump\n");
  EXPECT_EQ(result.exitCode, 0) << result.err;
  std::map<int, int> opens;
  alignas(inotify_event) char buffer[4096];
  for (ssize_t n; (n = ::read(watcher, buffer, sizeof buffer)) > 0;) {
    for (char *at = buffer; at < buffer + n; at += sizeof(inotify_event) + reinterpret_cast<inotify_event *>(at)->len) {
      const auto *event = reinterpret_cast<inotify_event *>(at);
      if (event->mask & IN_OPEN) ++opens[event->wd];
    }
  }
  ::close(watcher);
  EXPECT_EQ(opens[machine], 1) << "the machine file is read by the driver alone";
  EXPECT_EQ(opens[dump], 1);
}

TEST(RunFiles, ADescriptorLimitTooLowIsSaidAsSuch) {
  // Never as a driver that is not there, nor as a service record that cannot be read (what a limit of 5 used
  // to be said as).
  for (const char *limit : {"-n 5", "-n 16"}) {
    SCOPED_TRACE(limit);
#if defined(__SANITIZE_ADDRESS__)
    if (std::string(limit) == "-n 5") continue;  // the sanitizers' own files need more
#endif
    Sandbox box;
    RunLimited(box, limit);
    const RunResult result = box.Run("demo", "dump\n");
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(result.err, "kelvorant: this process may have only " + std::string(limit + 3) +
                              " files open (ulimit -n), and kelvorant needs at least 32\n");
    EXPECT_EQ(result.out, "");
  }
}

TEST(RunFiles, RunningOutOfMemoryIsALineThatNamesTheInput) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "AddressSanitizer reserves more address space than the limit allows";
#endif
  // A machine file of 200,000 functions, within its bound, whose reading takes some 100 MB.
  Sandbox box;
  std::string functions;
  for (int i = 0; i < 200000; ++i) {
    char function[64];
    std::snprintf(function, sizeof function, R"(%s{"address":"%02x:%02x.%x","config":"00"})", i ? "," : "",
                  (i >> 8) & 0xff, (i >> 3) & 0x1f, i & 7);
    functions += function;
  }
  const fs::path machine = box.Write("m.json", R"({"functions":[)" + functions + "]}");
  RunLimited(box, "-v 65536");
  const RunResult result = box.Run(machine.string(), "dump\n");
  EXPECT_EQ(result.exitCode, 2);
  EXPECT_EQ(result.err, "kelvorant: not enough memory while KELVORANT.sys started, reading " + machine.string() + "\n");
  EXPECT_EQ(result.out, kNoService);
  EXPECT_FALSE(box.ServiceInstalled()) << "nothing is left behind";
  EXPECT_TRUE(result.lines.empty());
}

}  // namespace
