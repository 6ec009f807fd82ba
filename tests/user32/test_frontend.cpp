#include "test_frontend.h"

#include <gtest/gtest.h>

#include "kvplat/diag.h"

#include "kvplat/embedded.h"
#include "kvplat/resources.h"

namespace kvtest {

LPCDLGTEMPLATEA CompileDialog(const char *script, int id) {
  static std::string text;
  static kvplat::EmbeddedFile files[2];
  text = script;
  files[0] = {"test.rc", reinterpret_cast<const unsigned char *>(text.data()), text.size()};
  files[1] = {nullptr, nullptr, 0};
  kvplat::RegisterModuleResources(files);
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
