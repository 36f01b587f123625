// The built Larkcore serves the status shared memory on the demo
// installation: this test process acts as the console (its own object, the
// service's view mapped), in a private /dev/shm and network namespace.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "common/status_client.h"
#include "core/device_node.h"
#include "core/live_data.h"
#include "linkserver/link_frame.h"
#include "platform/paths.h"
#include "tests/support/demo_install.h"
#include "tests/support/link_test_client.h"
#include "tests/support/netns.h"
#include "tests/support/service_process.h"
#include "tests/support/shmns.h"
#include "tests/support/temp_dir.h"

namespace lark {
namespace {

namespace fs = std::filesystem;
using V = std::vector<uint8_t>;

// The demo tree: the root, "Server room", and UPS 1 inside it.
constexpr int16_t kRoot = 0, kServerRoom = 1, kUps1 = 2;

template <class Pred>
bool Eventually(Pred pred, int timeoutMs = 30000) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!pred()) {
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

V Request(uint8_t sub, int16_t id, uint16_t count = 0) {
  V data = {static_cast<uint8_t>(id >> 8), static_cast<uint8_t>(id),
            static_cast<uint8_t>(count >> 8), static_cast<uint8_t>(count)};
  V out(16);
  out.resize(BuildStatusRequest(out, kStatusCommandDeviceData, sub, data));
  return out;
}

class StatusLarkcoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!test::EnterPrivateSharedMemory()) GTEST_SKIP() << "no private /dev/shm";
    if (!test::EnterPrivateNetwork()) GTEST_SKIP() << "no private network namespace";
    // The demo UPS is not polled, so its node stays as loaded.
    ASSERT_TRUE(test::CopyDemoInstall(dir.path(), 3, false));
  }

  void startService() {
    service = std::make_unique<test::ServiceProcess>(dir.path());
    ASSERT_TRUE(service->start());
    ASSERT_TRUE(service->waitForOutput("running on", 30000)) << service->output();
  }
  // Waits until a live service has attached to our object (its view idle).
  bool served() {
    return Eventually([&] {
      if (!console.serverAlive() && !console.attach()) return false;
      return console.serverState() == kStatusViewIdle;
    });
  }
  // One request as a console makes it; every answer's frame is checked.
  V ask(const V& request) {
    EXPECT_TRUE(served());
    EXPECT_TRUE(console.post(request));
    std::optional<V> answer;
    EXPECT_TRUE(Eventually([&] { return (answer = console.answer()).has_value(); }));
    console.setOwnState(kStatusViewAnswerTaken);
    EXPECT_TRUE(Eventually([&] { return console.serverState() == kStatusViewIdle; }));
    if (!answer) return {};
    EXPECT_TRUE(StatusFrameCrcOk(*answer));
    EXPECT_EQ(be24At(*answer, kStatusOffLength), answer->size() - 7);
    return *answer;
  }
  static V Data(const V& answer) {
    auto parsed = ParseStatusAnswer(answer);
    return parsed ? V(parsed->data.begin(), parsed->data.end()) : V{};
  }

  test::TempDir dir;
  std::unique_ptr<test::ServiceProcess> service;
  StatusClient console;
};

TEST_F(StatusLarkcoreTest, AnswersTheDemoTreeLikeTheLink) {
  ASSERT_NO_FATAL_FAILURE(startService());
  ASSERT_EQ(console.create(), SharedMemory::Created::kCreated);
  ASSERT_TRUE(served()) << service->output();

  test::LinkTestClient link(8900);
  ASSERT_TRUE(link.connected());
  ASSERT_TRUE(link.request(kLinkCmdHello));
  for (int16_t id : {kRoot, kServerRoom, kUps1}) {
    V image = Data(ask(Request(0, id)));
    ASSERT_EQ(image.size(), kDeviceNodeSize) << id;
    EXPECT_EQ(i16At(image, node_off::kId), id);
    auto reply = link.request(kLinkCmdGetDeviceData, {0, 0, static_cast<uint8_t>(id), 0, 0});
    ASSERT_TRUE(reply);
    EXPECT_EQ(V(reply->begin() + 9, reply->end()), image) << id;
  }
  EXPECT_EQ(Data(ask(Request(1, kUps1))).size(), kAsciiLiveDataSize);
  V masks = Data(ask(Request(2, kServerRoom)));
  ASSERT_EQ(masks.size(), 2 + 16u);
  EXPECT_EQ(be16At(masks, 0), kUps1);

  // Leaf rounds of one: UPS 1, the empty answer that closes the round, UPS 1.
  V first = Data(ask(Request(3, kRoot, 1)));
  ASSERT_EQ(first.size(), 5 + kAsciiLiveDataSize);
  EXPECT_EQ(be16At(first, 0), kUps1);
  EXPECT_EQ(Data(ask(Request(3, kRoot, 1))).size(), 0u);
  EXPECT_EQ(Data(ask(Request(3, kRoot, 1))), first);
  // The link's own round is untouched by ours.
  auto reply = link.request(kLinkCmdGetDeviceData, {3, 0, 0, 0, 1});
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->size(), 9 + 5 + kAsciiLiveDataSize);

  V missing = ask(Request(0, 999));
  EXPECT_EQ(missing.size(), 10u);
  EXPECT_EQ(missing[kStatusOffResult], kStatusResultNotFound);

  // The tool speaks for a console too (after ours has left).
  console.close();
  std::string out;
  EXPECT_EQ(test::RunProgram({test::BuiltProgram("tools/larkshm"), "1", "2"}, out), 0)
      << service->output();
  EXPECT_NE(out.find("\ncrc ok\n"), std::string::npos) << out;
  EXPECT_EQ(service->stop(SIGTERM), 0) << service->output();
}

TEST_F(StatusLarkcoreTest, StalledConsoleAndKilledService) {
  ASSERT_NO_FATAL_FAILURE(startService());
  ASSERT_EQ(console.create(), SharedMemory::Created::kCreated);
  ASSERT_TRUE(served());
  // An answer never taken: the service lets go after 3.5 s, then serves the
  // console again (its request is still posted).
  ASSERT_TRUE(console.post(Request(1, kUps1)));
  ASSERT_TRUE(Eventually([&] { return console.serverState() == kStatusViewAnswerReady; }));
  ASSERT_TRUE(Eventually([&] { return !console.serverAlive(); }));
  ASSERT_TRUE(Eventually([&] { return console.attach() && console.answer().has_value(); }));
  console.setOwnState(kStatusViewAnswerTaken);
  EXPECT_EQ(Data(ask(Request(1, kUps1))).size(), kAsciiLiveDataSize);

  // A killed service leaves its object; the next one replaces it.
  service->stop(SIGKILL);
  EXPECT_FALSE(console.serverAlive());
  ASSERT_NO_FATAL_FAILURE(startService());
  EXPECT_EQ(Data(ask(Request(1, kUps1))).size(), kAsciiLiveDataSize);
  EXPECT_EQ(service->stop(SIGTERM), 0) << service->output();
}

TEST_F(StatusLarkcoreTest, AKilledConsolesObjectIsNotAttachedTo) {
  ASSERT_NO_FATAL_FAILURE(startService());
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  pid_t child = fork();
  if (child == 0) {
    StatusClient dying;
    if (dying.create() != SharedMemory::Created::kCreated) _exit(1);
    (void)!write(ready[1], "x", 1);
    pause();
    _exit(0);
  }
  char c = 0;
  ASSERT_EQ(read(ready[0], &c, 1), 1);
  ASSERT_TRUE(Eventually([&] { return console.attach() && console.serverState() == 1; }));
  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
  // The service lets the dead console go and does not attach to its object.
  ASSERT_TRUE(Eventually([&] { return !console.serverAlive(); }));
  // Time for a wrong attach: a bound a slow machine can only make pass more easily.
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  ASSERT_TRUE(console.attach());
  EXPECT_EQ(console.serverState(), kStatusViewCreated);
  // The next console replaces the stale object and is served.
  ASSERT_EQ(console.create(), SharedMemory::Created::kCreated);
  EXPECT_EQ(Data(ask(Request(1, kUps1))).size(), kAsciiLiveDataSize);
  close(ready[0]);
  close(ready[1]);
  EXPECT_EQ(service->stop(SIGTERM), 0) << service->output();
}

}  // namespace
}  // namespace lark
