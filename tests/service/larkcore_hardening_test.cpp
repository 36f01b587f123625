// End-to-end runs of the built Larkcore against a hostile setting: a
// read-only install folder, temp files left by a killed save.
#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <string>

#include "platform/paths.h"
#include "tests/support/mountns.h"
#include "tests/support/netns.h"
#include "tests/support/service_process.h"
#include "tests/support/temp_dir.h"

namespace lark {
namespace {

using test::ServiceProcess;
using test::TempDir;

class LarkcoreHardening : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!test::EnterPrivateNetwork()) GTEST_SKIP() << "no private network namespace here";
    if (!test::EnterPrivateMounts()) GTEST_SKIP() << "no private mount namespace here";
    ASSERT_TRUE(MakeDirs(install));
    std::filesystem::copy(test::SourcePath("data/English"), install + "/English",
                          std::filesystem::copy_options::recursive);
  }
  TempDir dir;
  const std::string install = dir.file("install");
};

TEST_F(LarkcoreHardening, ReadOnlyInstallFolderSaysWhatFailed) {
  ASSERT_TRUE(test::MakeReadOnly(install));
  ServiceProcess service(install, dir.file("state"));
  ASSERT_TRUE(service.start());
  const int code = service.waitExit(30000);
  EXPECT_NE(code, 0);
  EXPECT_NE(code, -1) << "kept running";
  EXPECT_NE(
      service.output().find("cannot create " + install + "/Larkcore.lock: Read-only file system"),
      std::string::npos)
      << service.output();
  EXPECT_EQ(service.output().find("already runs"), std::string::npos) << service.output();
  test::Unmount(install);
}

TEST_F(LarkcoreHardening, TempFilesOfAKilledSaveAreRemovedAtStart) {
  ASSERT_TRUE(MakeDirs(install + "/Untitled"));
  const std::string ours[] = {install + "/.Demo.UMF.tmp-a1B2c3",
                              install + "/.manager.ini.tmp-XyZ789",
                              install + "/Untitled/.Tree_Map.dat.tmp-000000"};
  const std::string theirs[] = {install + "/notes.tmp-a1B2c3", install + "/Untitled/Tmp.txt"};
  for (const std::string& f : ours) ASSERT_TRUE(WriteFileAtomic(f, std::string(1000, 'x')));
  for (const std::string& f : theirs) ASSERT_TRUE(WriteFileAtomic(f, "keep"));
  ServiceProcess service(install, dir.file("state"));
  ASSERT_TRUE(service.start());
  ASSERT_TRUE(service.waitForOutput("running on", 30000)) << service.output();
  for (const std::string& f : ours) EXPECT_FALSE(FileExists(f)) << f;
  for (const std::string& f : theirs) EXPECT_TRUE(FileExists(f)) << f;
  EXPECT_EQ(service.stop(SIGTERM), 0);
}

}  // namespace
}  // namespace lark
