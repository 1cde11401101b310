// Shared libraries by the bare names the system's code gives them, and their references.

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <string>
#include <thread>

#include "platform/base/Module.h"
#include "platform/base/Status.h"

namespace platform {
namespace {

// The probe lies beside the test program as the build's "libModuleProbe.so".
bool ProbeMapped() {
  void* probe = ::dlopen(MODULE_PROBE_LIBRARY, RTLD_NOW | RTLD_NOLOAD);
  if (probe != nullptr) {
    ::dlclose(probe);
  }
  return probe != nullptr;
}

using AnswerProcedure = int (*)();

TEST(ModuleTest, ABareNameFindsTheBuildsLibraryBesideTheProgram) {
  for (const char* name :
       {"ModuleProbe.dll", "ModuleProbe.DLL", "ModuleProbe", MODULE_PROBE_LIBRARY}) {
    Module probe = Module::Load(name);
    ASSERT_TRUE(probe) << name;
    const auto answer = probe.Find<AnswerProcedure>("ModuleProbeAnswer");
    ASSERT_NE(answer, nullptr) << name;
    EXPECT_EQ(answer(), 42) << name;
  }
  EXPECT_FALSE(ProbeMapped()) << "the last free unmaps it";
}

TEST(ModuleTest, FailuresSayWhatWasMissing) {
  struct Case {
    const char* name;
    std::uint32_t error;
  };
  for (const Case& missing :
       {Case{"NoSuchLibrary.dll", ERROR_MOD_NOT_FOUND}, Case{"", ERROR_MOD_NOT_FOUND},
        Case{"/no/such/libModuleProbe.so", ERROR_MOD_NOT_FOUND},
        Case{"moduleprobe.dll", ERROR_MOD_NOT_FOUND}}) {
    EXPECT_EQ(LoadLibrary(missing.name), nullptr) << missing.name;
    EXPECT_EQ(LastModuleError(), missing.error) << missing.name;
  }

  Module probe = Module::Load("ModuleProbe.dll");
  ASSERT_TRUE(probe);
  EXPECT_EQ(GetProcAddress(probe.Get(), "NoSuchProcedure"), nullptr);
  EXPECT_EQ(LastModuleError(), ERROR_PROC_NOT_FOUND);
  EXPECT_EQ(GetProcAddress(nullptr, "ModuleProbeAnswer"), nullptr);
  EXPECT_EQ(LastModuleError(), ERROR_INVALID_HANDLE);
  EXPECT_FALSE(FreeLibrary(nullptr));
  EXPECT_EQ(LastModuleError(), ERROR_INVALID_HANDLE);
}

TEST(ModuleTest, EachLoadIsOneReferenceAndTheLibraryStaysWhileOneIsHeld) {
  Module first = Module::Load("ModuleProbe.dll");
  ASSERT_TRUE(first);
  const int* loads = first.Find<const int*>("ModuleProbeLoads");
  ASSERT_NE(loads, nullptr);
  {
    Module second = Module::Load("ModuleProbe.dll");
    EXPECT_EQ(second.Get(), first.Get());
    EXPECT_EQ(*loads, 1) << "its load-time code runs once while it stays mapped";
  }
  EXPECT_TRUE(ProbeMapped());

  // A thread of the library holds it by an address inside it while its loader lets go.
  Module held(ReferenceLibraryAt(loads));
  ASSERT_TRUE(held);
  first.Reset();
  EXPECT_TRUE(ProbeMapped());
  std::thread([owned = std::move(held)]() mutable { owned.Reset(); }).join();
  EXPECT_FALSE(ProbeMapped());

  static const int kInProgram = 0;
  EXPECT_EQ(ReferenceLibraryAt(&kInProgram), nullptr) << "the program is no library";
  EXPECT_EQ(LastModuleError(), ERROR_MOD_NOT_FOUND);
}

}  // namespace
}  // namespace platform
