#include "test_frontend.h"

#include <gtest/gtest.h>

#include <cstdio>

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

// A message that the platform does not implement fails the test that sent it; every line is still written.
class FailOnUnimplemented : public ::testing::Environment {
 public:
  void SetUp() override {
    kvplat::SetDiagSink([](const std::string &line) {
      if (line.starts_with("kelvorant: not implemented: ")) ADD_FAILURE() << line;
      std::fputs(line.c_str(), stderr);
    });
  }
};
const auto *const g_environment = ::testing::AddGlobalTestEnvironment(new FailOnUnimplemented);

}  // namespace
