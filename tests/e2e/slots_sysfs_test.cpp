// Save and Reload around an FPGA reload on the sysfs machine (KELVORANT_MACHINE=sysfs:DIR), with a folder laid
// out like /sys/bus/pci/devices: the test changes the config files while the program waits between Save and
// Reload, as the reload of an FPGA would, and compares the files afterwards. The order of the register writes
// is the driver's own business and is pinned down by its tests (tests/kelvorant_sys/hal_machine_test.cpp);
// this is the whole path through the program.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <optional>
#include <sstream>

#include "harness.h"

namespace {

namespace fs = std::filesystem;
using Json = nlohmann::ordered_json;
using Bytes = std::vector<uint8_t>;
using Lines = std::vector<std::string>;

using kvtest::DumpPipe;
using kvtest::kNoService;

// The image of a function of slots-machine.json, with zeros up to `size` bytes.
Bytes ImageOf(const std::string &address, size_t size) {
  const Json machine = Json::parse(kvtest::ReadText(kvtest::DataDir() / "machines" / "slots-machine.json"));
  Bytes image;
  for (const Json &f : machine["functions"]) {
    if (f["address"] != address) continue;
    std::istringstream hex(f["config"].get<std::string>());
    for (unsigned byte; hex >> std::hex >> byte;) image.push_back(static_cast<uint8_t>(byte));
  }
  EXPECT_FALSE(image.empty()) << address;
  image.resize(size, 0);
  return image;
}

void WriteBytes(const fs::path &path, const Bytes &bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char *>(bytes.data()),
                                              static_cast<std::streamsize>(bytes.size()));
}

Bytes ReadBytes(const fs::path &path) {
  const std::string text = kvtest::ReadText(path);
  return Bytes(text.begin(), text.end());
}

// A config file that refuses to be written, as the kernel's would when it refuses the access: immutable,
// which even root may not open for writing. Taken back when the test ends, so that its folder can go.
class Immutable {
 public:
  explicit Immutable(const fs::path &file) : file_(file) { set_ = SetFlag(true); }
  ~Immutable() {
    if (set_) SetFlag(false);
  }
  bool set() const { return set_; }

 private:
  bool SetFlag(bool on) {
    const int fd = open(file_.c_str(), O_RDONLY | O_CLOEXEC);
    int flags = 0;
    bool done = fd >= 0 && ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
    done = done && ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    if (fd >= 0) close(fd);
    return done;
  }
  fs::path file_;
  bool set_ = false;
};

std::string Register(const Json &dump, const std::string &label) {
  for (const Json &row : dump["lists"]["1002"]["rows"])
    if (row["cells"][0] == label) return row["cells"][1];
  return "(no row " + label + ")";
}

void Put(Bytes &image, unsigned offset, std::initializer_list<uint8_t> bytes) {
  std::copy(bytes.begin(), bytes.end(), image.begin() + offset);
}

TEST(SlotsOnSysfs, SaveFpgaReloadReloadRestoresTheFunctionAndNothingElse) {
  kvtest::Sandbox box;
  const fs::path root = box.Dir() / "devices";
  auto config = [&](const char *name) { return root / name / "config"; };

  const Bytes host = ImageOf("00:00.0", 256);
  const Bytes fpga = ImageOf("01:00.0", 4096);  // PCI Express, extended capabilities
  // Only identification registers (IDs, revision and class, header type; the status register too) and zeros:
  // against a file of zeros nothing but registers that are never written differs.
  Bytes idsOnly = ImageOf("00:02.0", 256);
  std::fill(idsOnly.begin() + 4, idsOnly.begin() + 6, 0);
  std::fill(idsOnly.begin() + 0x0c, idsOnly.begin() + 0x0e, 0);
  std::fill(idsOnly.begin() + 0x10, idsOnly.end(), 0);
  Bytes withBar = idsOnly;
  Put(withBar, 0x10, {0x00, 0x00, 0xbf, 0xfe});
  WriteBytes(config("0000:00:00.0"), host);
  WriteBytes(config("0000:01:00.0"), fpga);
  WriteBytes(config("0000:02:00.0"), idsOnly);
  WriteBytes(config("0000:03:00.0"), withBar);
  WriteBytes(config("0000:04:00.0"), withBar);

  // The FPGA comes back from its reload at its power-on settings, with a new revision and an error logged in
  // its status register.
  Bytes reloaded = fpga;
  std::fill(reloaded.begin() + 0x04, reloaded.begin() + 0x06, 0);  // command
  reloaded[0x07] |= 0x20;                                          // status: received master abort
  reloaded[0x08] = 0x01;                                           // revision
  reloaded[0x0c] = 0;                                              // cache line size
  std::fill(reloaded.begin() + 0x10, reloaded.begin() + 0x28, 0);  // base addresses ...
  reloaded[0x18] = 0x0c;                                           // ... but BAR2's type bits
  reloaded[0x3c] = 0;                                              // interrupt line
  std::fill(reloaded.begin() + 0x4a, reloaded.begin() + 0x58, 0);  // MSI control, address and data
  std::fill(reloaded.begin() + 0x108, reloaded.begin() + 0x118, 0);  // AER masks and severities
  std::fill(reloaded.begin() + 0x1f0, reloaded.begin() + 0x200, 0);

  const fs::path fifo = box.Dir() / "ui.fifo";
  DumpPipe pipe(fifo);
  const int pid = box.Start("sysfs:" + root.string(),
                            "click-row 1000 2\nclick 1014\n"    // 02:00.0 into slot 2
                            "click-row 1000 3\nclick 1015\n"    // 03:00.0 into slot 3
                            "click-row 1000 4\nclick 1016\n"    // 04:00.0 into slot 4
                            "click-row 1000 1\nclick 1013\n"    // 01:00.0 into slot 1; the view shows it
                            "dump\n"                            // the files change after this line
                            "dump\ndump\ndump\n"                // while the program waits in these
                            "click 1008\ndump\n"                // reload 01:00.0
                            "click 1009\nclick 1010\nclick 1011\ndump\n",  // reload 02:00.0, 03:00.0, 04:00.0
                            {{"KELVORANT_UI_DUMP", fifo.string()}});
  const bool paused = pipe.ReadLines(1);
  EXPECT_TRUE(paused) << "no dump line within a minute";
  std::optional<Immutable> refusing;
  if (paused) {
    WriteBytes(config("0000:01:00.0"), reloaded);
    WriteBytes(config("0000:03:00.0"), idsOnly);  // its base address is lost
    refusing.emplace(config("0000:03:00.0"));
    // 04:00.0's file ends after 32 bytes now: past them it reads as all ones, and its saved registers there
    // cannot be written back.
    WriteBytes(config("0000:04:00.0"), Bytes(idsOnly.begin(), idsOnly.begin() + 32));
    if (!refusing->set()) std::printf("the file system of %s has no immutable files\n", box.Dir().c_str());
  } else {
    kill(pid, SIGKILL);
  }
  pipe.ReadToEnd();
  auto result = box.Wait(pid);
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.out, kNoService);
  const std::string unwritten = "kelvorant: KELVORANT.sys: 0000:0";
  EXPECT_EQ(result.err, (refusing && refusing->set() ? unwritten + "3:00.0 cannot be written: its config file " +
                                                           config("0000:03:00.0").string() +
                                                           " refused the write: Operation not permitted\n"
                                                     : "") +
                            unwritten + "4:00.0 cannot be written: its config file " + config("0000:04:00.0").string() +
                            " holds 32 bytes: the write of 4 at 0xfc lies past its end\n")
      << "each refusal is said once, with its reason";

  Lines boxes;
  std::vector<Json> dumps;
  size_t waited = 0;  // the size of the dump lines in which the program waits
  for (const std::string &line : pipe.lines()) {
    const Json json = Json::parse(line);
    if (json.contains("messageBox")) {
      boxes.push_back(line);
    } else {
      dumps.push_back(json["dump"]);
      if (dumps.size() >= 2 && dumps.size() <= 4) waited += line.size() + 1;
    }
  }
  const std::string failed = R"({"messageBox":{"caption":"kelvorant","text":"ReloadDevice:Error","type":0}})";
  EXPECT_EQ(boxes, (Lines{failed, failed}))
      << "03:00.0's and 04:00.0's reloads fail: a file that refuses the write, one that ends too soon";
  ASSERT_EQ(dumps.size(), 6u);
  ASSERT_GT(waited, 4u * DumpPipe::kPipeSize) << "the program must wait in the dump lines, not pass them";
  const Json &saved = dumps[0], &restored = dumps[4];

  // Everything but the registers that are never written is back; the other functions' files are as they were.
  Bytes expected = fpga;
  for (unsigned at : {0x06u, 0x07u, 0x08u}) expected[at] = reloaded[at];
  EXPECT_EQ(ReadBytes(config("0000:01:00.0")), expected);
  EXPECT_EQ(ReadBytes(config("0000:00:00.0")), host);
  EXPECT_EQ(ReadBytes(config("0000:02:00.0")), idsOnly);
  EXPECT_EQ(ReadBytes(config("0000:04:00.0")), Bytes(idsOnly.begin(), idsOnly.begin() + 32)) << "nothing past its end";

  // The view reads the function back after the writes.
  EXPECT_EQ(Register(restored, "Revision ID"), "01");
  EXPECT_EQ(Register(restored, "Status"), "2010");
  for (const Json &row : saved["lists"]["1002"]["rows"]) {
    const std::string label = row["cells"][0];
    if (label != "Revision ID" && label != "Status") {
      EXPECT_EQ(Register(restored, label), row["cells"][1]) << label;
    }
  }
  EXPECT_EQ(restored["edits"], Json::parse(R"({"1004":"1:0:0","1018":"2:0:0","1019":"3:0:0","1020":"4:0:0","1021":""})"));

  // 02:00.0 reloads without an error: nothing that may be written differs. The selection moves to its row,
  // whose notification reads it before the read-back. 03:00.0's file refuses the write of its base address.
  const Lines tail = {
      "IOCTL_WRITE_CONFIG 01:00.0 status=1 returned=272",      "IOCTL_WRITE_EXT_CONFIG 01:00.0 status=0 returned=3856",
      "IOCTL_READ_CONFIG 01:00.0 status=1 returned=272",       "IOCTL_READ_EXT_CONFIG 01:00.0 status=0 returned=3856",
      "IOCTL_WRITE_CONFIG 02:00.0 status=1 returned=272",      "IOCTL_READ_CONFIG 02:00.0 status=1 returned=272",
      "IOCTL_READ_CONFIG 02:00.0 status=1 returned=272",       "IOCTL_WRITE_CONFIG 03:00.0 status=2 returned=272",
      "IOCTL_WRITE_CONFIG 04:00.0 status=2 returned=272",
  };
  ASSERT_GE(result.trace.size(), tail.size());
  EXPECT_EQ(Lines(result.trace.end() - tail.size(), result.trace.end()), tail);
}

}  // namespace
