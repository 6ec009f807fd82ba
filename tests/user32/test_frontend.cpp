#include "test_frontend.h"

#include <gtest/gtest.h>

#include "kvplat/diag.h"

#include "kvplat/embedded.h"
#include "kvplat/resources.h"

extern const kvplat::EmbeddedFile kv_test_dialogs[];

namespace kvtest {

LPCDLGTEMPLATEA LoadTestDialog(int id) {
  kvplat::RegisterModuleResources(kv_test_dialogs);
  HRSRC res = FindResourceA(nullptr, MAKEINTRESOURCE(id), RT_DIALOG);
  return res ? static_cast<LPCDLGTEMPLATEA>(LockResource(LoadResource(nullptr, res))) : nullptr;
}

}  // namespace kvtest

namespace {

// A message that the platform does not implement fails the test that sent it.
class FailOnUnimplemented : public ::testing::Environment {
 public:
  void SetUp() override {
    kvplat::SetUnimplementedHandler([](const char *what) { ADD_FAILURE() << "not implemented: " << what; });
  }
};
const auto *const g_environment = ::testing::AddGlobalTestEnvironment(new FailOnUnimplemented);

}  // namespace
