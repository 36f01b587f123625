// The built Larkcore serves the console link: discovery, hello and version,
// checked with the larklink tool and a plain client, in a private network
// namespace with the real ports.
#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <string>
#include <vector>

#include "linkserver/link_frame.h"
#include "platform/paths.h"
#include "tests/support/link_test_client.h"
#include "tests/support/netns.h"
#include "tests/support/service_process.h"
#include "tests/support/temp_dir.h"

namespace lark {
namespace {

using V = std::vector<uint8_t>;

class LinkLarkcoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!test::EnterPrivateNetwork()) GTEST_SKIP() << "no private network namespace";
    std::filesystem::copy(test::SourcePath("data/English"), dir.file("English"),
                          std::filesystem::copy_options::recursive);
  }

  std::string larklink(std::vector<std::string> args, int* status = nullptr) {
    args.insert(args.begin(), test::BuiltProgram("tools/larklink"));
    std::string out;
    int rc = test::RunProgram(args, out);
    if (status) *status = rc;
    return out;
  }

  test::TempDir dir;
};

TEST_F(LinkLarkcoreTest, AnswersDiscoveryHelloAndVersion) {
  test::ServiceProcess service(dir.path());
  ASSERT_TRUE(service.start());
  ASSERT_TRUE(service.waitForOutput("running on", 30000)) << service.output();

  int status = -1;
  std::string out = larklink({"discover", "127.0.0.1", "--wait", "3000"}, &status);
  EXPECT_EQ(status, 0) << service.output();
  EXPECT_EQ(out, "127.0.0.1 01 02 00 02 01 01\n");

  out = larklink({"hello", "127.0.0.1"}, &status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(out, "01 02 00 02 01 01\n");
  out = larklink({"send", "127.0.0.1:8900", "01 01 00 03 21 09 07"}, &status);
  EXPECT_EQ(out, "01 02 00 04 21 41 09 07\n");

  // A console kept open: pipelined hello and version, then a command not
  // served yet answers its failure code.
  test::LinkTestClient console(8900);
  ASSERT_TRUE(console.connected());
  V burst = test::LinkRequestFrame(kLinkCmdHello);
  V version = test::LinkRequestFrame(kLinkCmdVersion, {9, 7});
  burst.insert(burst.end(), version.begin(), version.end());
  ASSERT_TRUE(console.send(burst));
  EXPECT_EQ(console.readFrame(), (V{1, 2, 0, 2, 1, 1}));
  EXPECT_EQ(console.readFrame(), (V{1, 2, 0, 4, 33, 65, 9, 7}));
  console.close();

  EXPECT_EQ(service.stop(SIGTERM), 0) << service.output();
  auto log = ReadFile(dir.file("Untitled/Event.log"));
  ASSERT_TRUE(log.has_value());
  EXPECT_NE(log->find("\tInformation\t1000\tConsole 127.0.0.1 connected\r\n"), std::string::npos)
      << *log;
  EXPECT_NE(log->find("\tInformation\t1000\tConsole 127.0.0.1 disconnected\r\n"), std::string::npos)
      << *log;
}

TEST_F(LinkLarkcoreTest, ToolReportsNoServerAndBadArguments) {
  int status = -1;
  larklink({"hello", "127.0.0.1", "--timeout", "500"}, &status);
  EXPECT_EQ(status, 1);  // nothing listens in this namespace
  larklink({"discover", "127.0.0.1", "--wait", "200"}, &status);
  EXPECT_EQ(status, 1);
  larklink({"send", "127.0.0.1", "0g"}, &status);
  EXPECT_EQ(status, 2);
  larklink({"request", "127.0.0.1", "300"}, &status);
  EXPECT_EQ(status, 2);
}

}  // namespace
}  // namespace lark
