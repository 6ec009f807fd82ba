// A function that the kernel removed while kelvorant ran (the guest's step removed.sh): from then on it
// answers as absent, and one line says to start kelvorant again, unless the process kept root and the
// kernel added the function back.
#include <gtest/gtest.h>

#include "guest_results.h"
#include "harness.h"

namespace {

using Json = nlohmann::ordered_json;

// Whether a dump's device list has a row for bus, device and function.
bool Lists(const Json &dump, unsigned bus, unsigned device, unsigned function) {
  for (const Json &row : dump["lists"]["1000"]["rows"]) {
    if (row["cells"][1] == std::to_string(bus) && row["cells"][2] == std::to_string(device) &&
        row["cells"][3] == std::to_string(function))
      return true;
  }
  return false;
}

std::vector<Json> Dumps(const std::string &run) {
  std::vector<Json> dumps;
  for (const Json &line : kvvm::JsonLines("removed", run + "/dump.jsonl"))
    if (line.contains("dump")) dumps.push_back(line["dump"]);
  return dumps;
}

TEST(VmRemoved, AFunctionTheKernelRemovedAnswersAsAbsentAndAgainOnceItIsBackWhereRootWasKept) {
  KV_REQUIRE_GUEST();
  for (const char *file : {"kept.txt", "late.txt", "lost.txt"})
    EXPECT_FALSE(std::filesystem::exists(kvvm::GuestDir() / "results/removed" / file)) << kvvm::StepFile("removed", file);
  const std::string removed = kvtest::Lines(kvvm::StepFile("removed", "function.txt")).at(0);
  unsigned bus = 0, device = 0, function = 0;
  ASSERT_EQ(std::sscanf(removed.c_str(), "0000:%x:%x.%x", &bus, &device, &function), 3) << removed;
  const struct {
    const char *run;
    bool listedAfter;
    std::string said;
  } runs[] = {
      // Started for a user: the function's file was root's to open, and the user cannot open it again.
      {"user", false,
       "kelvorant: KELVORANT.sys: " + removed + " was removed from /sys/bus/pci/devices after kelvorant started, "
       "and answers as absent; start kelvorant again to see the functions as they are now\n"},
      // A root login opens the file the kernel added back, and says nothing.
      {"root", true, ""},
  };
  for (const auto &r : runs) {
    SCOPED_TRACE(r.run);
    const std::vector<Json> dumps = Dumps(r.run);
    ASSERT_EQ(dumps.size(), 2u);
    EXPECT_TRUE(Lists(dumps[0], bus, device, function));
    EXPECT_EQ(Lists(dumps[1], bus, device, function), r.listedAfter) << "after the program's rescan";
    EXPECT_EQ(kvvm::StepFile("removed", std::string(r.run) + "/exit-status.txt"), "0\n");
    EXPECT_EQ(kvvm::StepFile("removed", std::string(r.run) + "/stdout.txt"), kvtest::kNoService);
    EXPECT_EQ(kvvm::StepFile("removed", std::string(r.run) + "/stderr.txt"), r.said);
  }
}

}  // namespace
