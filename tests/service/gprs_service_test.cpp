// The built Larkcore with the demo map and simulated GPRS stations: both
// stations identified, then a full station table, and a stop that joins
// every thread with all of them connected.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/netns.h"
#include "tests/support/service_process.h"
#include "tests/support/temp_dir.h"

namespace lark {
namespace {

pid_t StartStations(std::vector<std::string> args) {
  args.insert(args.begin(), test::BuiltProgram("tools/gprs_sim"));
  return test::SpawnChild(args);
}

TEST(GprsService, DemoStationsIdentifiedAndStopWithAFullTable) {
  if (!test::EnterPrivateNetwork()) GTEST_SKIP() << "no private network namespace here";
  test::TempDir dir;
  std::filesystem::copy(test::SourcePath("data"), dir.path(),
                        std::filesystem::copy_options::recursive);
  test::ServiceProcess service(dir.path());
  ASSERT_TRUE(service.start());
  ASSERT_TRUE(service.waitForOutput("running on", 30000)) << service.output();
  pid_t two = StartStations({"--stations", "2"});
  EXPECT_TRUE(service.waitForOutput("\"Station1\" at 127.0.0.1", 20000)) << service.output();
  EXPECT_TRUE(service.waitForOutput("\"Station2\" at 127.0.0.1", 20000)) << service.output();
  // Each station is matched to its own demo node by its Location.
  const std::string out = service.output();
  const size_t first = out.find("identified: node ");
  ASSERT_NE(first, std::string::npos) << out;
  const size_t second = out.find("identified: node ", first + 1);
  ASSERT_NE(second, std::string::npos) << out;
  EXPECT_NE(out.substr(first, 20), out.substr(second, 20)) << out;
  // 999 more callers than places: the last wait in the backlog.
  pid_t many = StartStations({"--stations", "999", "--first", "3"});
  EXPECT_TRUE(service.waitForOutput("all 1000 station places are taken", 30000));
  EXPECT_EQ(service.stop(SIGTERM, 30000), 0) << service.output();
  test::StopChild(many, SIGTERM);
  test::StopChild(two, SIGTERM);
}

}  // namespace
}  // namespace lark
