// kelvorant as an unprivileged user in the guest, with a service database in a folder of its own: the kernel
// gives such a process the first 64 bytes of each function and refuses its writes. Judged against lspci run
// by the same user, and by root, in the same guest.
#include <gtest/gtest.h>

#include "guest_results.h"
#include "harness.h"

namespace {

using Json = nlohmann::ordered_json;

TEST(VmUnprivileged, RowsFrom64BytesSaveWorksReloadFailsAndChangesNothing) {
  KV_REQUIRE_GUEST();
  const auto asUser = kvvm::Capture("user", "lspci-user.txt");
  const auto listed = kvtest::Reached(asUser, 0);
  std::vector<Json> dumps, boxes;
  for (const Json &line : kvvm::JsonLines("user", "dump.jsonl")) {
    if (line.contains("dump")) dumps.push_back(line["dump"]);
    if (line.contains("messageBox")) boxes.push_back(line["messageBox"]);
  }
  EXPECT_EQ(kvvm::StepFile("user", "exit-status.txt"), "0\n") << kvvm::StepFile("user", "stderr.txt");
  EXPECT_EQ(kvvm::StepFile("user", "stdout.txt"), kvtest::kNoService);
  EXPECT_EQ(kvvm::StepFile("user", "scm-folder.txt"), "700 kv\n");
  EXPECT_FALSE(std::filesystem::exists(kvvm::GuestDir() / "results/user/late.txt"))
      << "root's change came after the program's sleep had ended: raise the guest's change_ms";

  // One dump per row while stepping through the list, one after the Save, one after the Reload.
  ASSERT_GE(listed.size(), 14u);
  ASSERT_EQ(dumps.size(), listed.size() + 2);
  for (size_t i = 0; i < listed.size(); ++i) {
    const kvtest::LspciFunction &f = listed[i];
    SCOPED_TRACE(kvvm::Address(f));
    EXPECT_EQ(kvvm::Printed(f).size(), 64u) << "lspci read more than 64 bytes as the user";
    Json cells = dumps[i]["lists"]["1000"]["rows"][i]["cells"];
    cells.erase(cells.begin());
    EXPECT_EQ(cells, kvtest::ListedRow(f));
    EXPECT_EQ(kvtest::Shown(dumps[i]), kvtest::ExpectedView(f));
  }

  // The Save of the e1000e works; its Reload is refused and the view stays as it was.
  const std::string e1000e = kvtest::Lines(kvvm::StepFile("user", "function.txt")).at(0);
  const Json &afterSave = dumps[listed.size()], &afterReload = dumps[listed.size() + 1];
  EXPECT_EQ(afterSave["edits"]["1004"], "1:0:0");
  EXPECT_EQ(boxes, std::vector<Json>{Json::parse(R"({"caption":"kelvorant","text":"ReloadDevice:Error","type":0})")});
  EXPECT_EQ(afterReload["lists"]["1002"], afterSave["lists"]["1002"]);

  // Root changed the interrupt line between the Save and the Reload, so the Reload had something to write;
  // the function kept root's value.
  const auto changed = kvvm::Capture("user", "lspci-changed.txt");
  const kvtest::LspciFunction *atSave = kvvm::Find(asUser, e1000e), *byRoot = kvvm::Find(changed, e1000e);
  ASSERT_TRUE(atSave && byRoot) << e1000e;
  EXPECT_NE(atSave->bytes[0x3C], byRoot->bytes[0x3C]);
  EXPECT_EQ(kvvm::StepFile("user", "lspci-after.txt"), kvvm::StepFile("user", "lspci-changed.txt"))
      << "the refused Reload changed a function";
}

}  // namespace
