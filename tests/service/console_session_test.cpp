// A console's session against the real Larkcore over TCP, in a private
// network namespace: tree edits saved and reloaded, file transfer both ways,
// device data from the simulated UPS, and bad requests.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "common/bytes.h"
#include "linkserver/control_lock.h"
#include "core/device_node.h"
#include "core/device_tree.h"
#include "linkserver/link_frame.h"
#include "linkserver/link_transfer.h"
#include "core/map_file.h"
#include "core/tree_dump.h"
#include "devices/ascii_live_data.h"
#include "devices/ascii_ups_samples.h"
#include "platform/paths.h"
#include "tests/support/link_test_client.h"
#include "tests/support/netns.h"
#include "tests/support/recording_event_log.h"
#include "tests/support/service_process.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wait.h"

namespace lark {
namespace {

using V = std::vector<uint8_t>;

V Cat(V a, const V& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}
V Id(int v) { return V{static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)}; }
V Header(uint32_t offset, uint32_t length, const std::string& name) {
  V h(kFileChunkHeaderSize, 0);
  PutChunkHeader(h, 0, FileChunkHeader{offset, length, name});
  return h;
}

// A node image as the console's property dialogs send it.
V Image(const std::string& title, int16_t commType, const std::string& com = "",
        const std::string& ip = "") {
  V img(kDeviceNodeSize, 0);
  putStr(img, node_off::kTitle, node_off::kTitleSize, title);
  putStr(img, node_off::kCom, node_off::kComSize, com);
  putStr(img, node_off::kIp, node_off::kIpSize, ip);
  putStr(img, node_off::kCommunity, node_off::kCommunitySize, "public");
  putU16(img, node_off::kPort, 161);
  putI16(img, node_off::kUpsId, 1);
  putU16(img, node_off::kBaud, 2400);
  putI16(img, node_off::kCommType, commType);
  putU16(img, node_off::kSaveInDatabase, 1);
  img[node_off::kMibType] = kMibMakerUps;
  return img;
}

class Console {
 public:
  explicit Console(uint16_t port = 8900) : client_(port) {}
  bool open() {
    if (!client_.connected()) return false;
    auto hello = client_.request(kLinkCmdHello);
    auto version = client_.request(kLinkCmdVersion, {9, 7});
    return hello && (*hello)[5] == 1 && version && (*version)[5] == 65;
  }
  V req(uint8_t command, const V& data = {}) {
    auto reply = client_.request(command, data);
    return reply ? *reply : V{};
  }
  uint16_t localPort() const { return client_.localPort(); }
  uint8_t code(uint8_t command, const V& data = {}) {
    V r = req(command, data);
    return r.size() > 5 ? r[5] : 0;
  }
  // Fetches a whole file in chunks; the sizes of the chunks in `sizes`.
  std::string download(uint8_t command, uint8_t sub, const std::string& name, uint32_t chunk,
                       std::vector<size_t>* sizes = nullptr, size_t dataOffset = 7) {
    std::string got;
    for (uint32_t off = 0;; off += chunk) {
      V r = req(command, Cat({sub}, Header(off, chunk, name)));
      if (r.size() < dataOffset || r[5] != LinkSuccessCode(command)) return "<failed>";
      got.append(r.begin() + static_cast<long>(dataOffset), r.end());
      if (sizes) sizes->push_back(r.size() - dataOffset);
      if (r.size() - dataOffset < chunk) return got;
    }
  }

 private:
  test::LinkTestClient client_;
};

class ConsoleSessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!test::EnterPrivateNetwork()) GTEST_SKIP() << "no private network namespace";
    std::filesystem::copy(test::SourcePath("data/English"), dir.file("English"),
                          std::filesystem::copy_options::recursive);
  }
  std::unique_ptr<test::ServiceProcess> startService() {
    auto s = std::make_unique<test::ServiceProcess>(dir.path());
    EXPECT_TRUE(s->start());
    EXPECT_TRUE(s->waitForOutput("running on", 30000)) << s->output();
    return s;
  }
  // A console connected and greeted; the listener of a restarted service
  // may need a few of its one-second retries first.
  std::unique_ptr<Console> openConsole() {
    std::unique_ptr<Console> c;
    if (test::Eventually([&] { return (c = std::make_unique<Console>())->open(); }, 15000, 100)) return c;
    return nullptr;
  }
  test::TempDir dir;
};

TEST_F(ConsoleSessionTest, TreeEditsAreSavedAndAReloadedServiceHasTheSameTree) {
  auto service = startService();
  Console c;
  ASSERT_TRUE(c.open()) << service->output();

  // Group 1 under the root, then an SNMP device 2 and a serial device 3 in it.
  V reply = c.req(kLinkCmdAddNode, Cat({kNodeGroup}, Id(0)));
  ASSERT_EQ(reply.size(), 7u + 36);
  EXPECT_EQ(reply[5], 25);
  EXPECT_EQ(u32At(reply, 7), 1u);  // the lock record: held by this console
  EXPECT_EQ(strAt(reply, 11, 20), "127.0.0.1");
  EXPECT_EQ(c.code(kLinkCmdAddNode, Cat({kNodeSnmp}, Id(1))), 25);
  EXPECT_EQ(c.code(kLinkCmdAddNode, Cat({kNodeSerial}, Id(1))), 25);
  EXPECT_EQ(c.code(kLinkCmdAddNode, Cat({kNodeSerial}, Id(3))), 26);  // a device is no parent

  EXPECT_EQ(c.code(kLinkCmdSetNodeProperties,
                   Cat(Cat({2}, Id(2)), Cat(Image("Rack SNMP", 0, "", "10.1.2.3"), V(8, 0)))),
            27);
  EXPECT_EQ(c.code(kLinkCmdSetNodeProperties, Cat(Cat({0}, Id(3)), Image("Three", 1, "COM9"))), 27);
  reply = c.req(kLinkCmdGetDeviceData, Cat({1}, Cat(Id(3), {0, 0})));
  EXPECT_EQ(reply.size(), 9u + kBinaryLiveDataSize);
  // CommType 1 -> 7: the next device data is a 92-byte sensor block of unknown values.
  EXPECT_EQ(c.code(kLinkCmdSetNodeProperties, Cat(Cat({0}, Id(3)), Image("Sensor", 7, "COM9"))),
            27);
  reply = c.req(kLinkCmdGetDeviceData, Cat({1}, Cat(Id(3), {0, 0})));
  ASSERT_EQ(reply.size(), 9u + kSensorLiveDataSize);
  EXPECT_EQ(be16At(reply, 7), 3);
  for (int i = 0; i < 7; ++i) EXPECT_EQ(i32At(reply, 9 + 16 + 4 * i), -1);

  // Cut the sensor, paste it under the root; add a fourth device and remove it.
  EXPECT_EQ(c.code(kLinkCmdCutNode, Id(3)), 31);
  EXPECT_EQ(c.code(kLinkCmdPasteNode, Id(2)), 34);  // not a group
  EXPECT_EQ(c.code(kLinkCmdPasteNode, Id(0)), 33);
  EXPECT_EQ(c.code(kLinkCmdPasteNode, Id(0)), 34);  // clipboard empty
  EXPECT_EQ(c.code(kLinkCmdAddNode, Cat({kNodeSerial}, Id(1))), 25);
  EXPECT_EQ(c.code(kLinkCmdRemoveNode, Cat({0}, Id(4))), 35);

  V name(256, 0);
  const std::string plant = "Plant";
  std::copy(plant.begin(), plant.end(), name.begin());
  EXPECT_EQ(c.req(kLinkCmdSaveMap, Cat({1}, name)), (V{1, 2, 0, 3, 8, 15, 1}));
  const V autoload = {'P', 'l', 'a', 'n', 't', '.', 'U', 'M', 'F', 0};
  EXPECT_EQ(c.code(kLinkCmdSetAutoLoadMap, autoload), 19);

  // The map file and the tree dump describe the same tree.
  auto umf = ReadFile(dir.file("Plant.UMF"));
  auto dump = ReadFile(dir.file("Plant/Tree_Map.dat"));
  ASSERT_TRUE(umf && dump);
  {
    DeviceTree tree;
    Tree_ResetRoot(tree);
    test::RecordingEventLog log;
    DeviceTree::StructuralEdit edit(tree);
    EXPECT_EQ(LoadMapText(*umf, tree, {}, log), 4);
    EXPECT_EQ(BuildTreeMapText(tree.root()), *dump);
    ASSERT_NE(Tree_FindNodeById(3, &tree.root()), nullptr);
    EXPECT_EQ(Tree_FindNodeById(3, &tree.root())->parent(), &tree.root());
    EXPECT_EQ(Tree_FindNodeById(3, &tree.root())->commType(), kCommSensor);
    EXPECT_EQ(Tree_FindNodeById(2, &tree.root())->ip(), "10.1.2.3");
    EXPECT_EQ(Tree_FindNodeById(4, &tree.root()), nullptr);
  }
  EXPECT_EQ(c.download(kLinkCmdDownloadFile, 0, "Plant.UMF", 4096), *umf);
  EXPECT_EQ(service->stop(SIGTERM), 0) << service->output();

  // Restarted: the auto-load map is current and saving it again writes the same file.
  service = startService();
  auto reopened = openConsole();
  ASSERT_TRUE(reopened) << service->output();
  Console& again = *reopened;
  reply = again.req(kLinkCmdGetMapList);
  ASSERT_EQ(reply[5], 3);
  EXPECT_EQ(std::string(reply.begin() + 6, reply.end()), "Plant.UMF;Plant.UMF;Plant.UMF;");
  reply = again.req(kLinkCmdGetDeviceData, Cat({0}, Cat(Id(2), {0, 0})));
  ASSERT_EQ(reply.size(), 9u + kDeviceNodeSize);
  EXPECT_EQ(strAt(reply, 9 + node_off::kTitle, node_off::kTitleSize), "Rack SNMP");
  EXPECT_EQ(again.code(kLinkCmdSaveMap, {0}), 15);
  EXPECT_EQ(ReadFile(dir.file("Plant.UMF")), umf);
  EXPECT_EQ(ReadFile(dir.file("Plant/Tree_Map.dat")), dump);
  EXPECT_EQ(service->stop(SIGTERM), 0) << service->output();
}

TEST_F(ConsoleSessionTest, FilesTravelInChunksAndNamesStayInsideTheFolders) {
  auto service = startService();
  Console c;
  ASSERT_TRUE(c.open()) << service->output();

  EXPECT_EQ(c.download(kLinkCmdDownloadSettings, 0, "", 512), *ReadFile(dir.file("manager.ini")));
  EXPECT_EQ(c.code(kLinkCmdSaveMap, {0}), 15);
  EXPECT_EQ(c.download(kLinkCmdDownloadFile, 0, "Untitled.UMF", 64),
            *ReadFile(dir.file("Untitled.UMF")));
  const std::string log = c.download(kLinkCmdEventLog, 5, "Untitled\\Event.log", 100, nullptr, 271);
  EXPECT_NE(log.find("Console 127.0.0.1 connected"), std::string::npos) << log;
  EXPECT_EQ(log, ReadFile(dir.file("Untitled/Event.log"))->substr(0, log.size()));

  // Upload a picture of exactly two pieces (the last one is empty), then
  // fetch it: there too the end is an empty chunk.
  constexpr uint32_t kPiece = 32768;
  V picture(2 * kPiece);
  for (size_t i = 0; i < picture.size(); ++i) picture[i] = static_cast<uint8_t>(i * 13 + 1);
  for (uint32_t off = 0; off <= picture.size(); off += kPiece) {
    V chunk(picture.begin() + off,
            picture.begin() + std::min<size_t>(off + kPiece, picture.size()));
    EXPECT_EQ(c.code(kLinkCmdUploadFile,
                     Cat(Header(off, static_cast<uint32_t>(chunk.size()), "Logo.bmp"), chunk)),
              63);
  }
  std::vector<size_t> sizes;
  EXPECT_EQ(c.download(kLinkCmdSyncImages, 1, "logo.bmp", kPiece, &sizes),
            std::string(picture.begin(), picture.end()));
  EXPECT_EQ(sizes, (std::vector<size_t>{kPiece, kPiece, 0}));

  // Names leaving the folders: refused, nothing read or written outside.
  ASSERT_TRUE(WriteFileAtomic(dir.file("x"), "outside"));
  for (const char* bad : {"../x", "/etc/passwd", "..\\x", "Images/../../x"}) {
    EXPECT_EQ(c.code(kLinkCmdDownloadFile, Cat({0}, Header(0, 100, bad))), 10) << bad;
    EXPECT_EQ(c.code(kLinkCmdSyncImages, Cat({1}, Header(0, 100, bad))), 62) << bad;
    EXPECT_EQ(c.code(kLinkCmdUploadFile, Cat(Header(0, 3, bad), {'b', 'a', 'd'})), 64) << bad;
    EXPECT_EQ(c.code(kLinkCmdEventLog, Cat({5}, Header(0, 100, bad))), 22) << bad;
  }
  EXPECT_EQ(ReadFile(dir.file("x")), "outside");
  // A chunk longer than a reply frame holds, and an upload whose bytes differ
  // from its declared length.
  EXPECT_EQ(c.code(kLinkCmdDownloadSettings, Cat({0}, Header(0, 65533, ""))), 8);
  EXPECT_EQ(c.code(kLinkCmdUploadFile, Cat(Header(0, 4, "Short.bmp"), {1, 2, 3})), 64);
  EXPECT_FALSE(FileExists(dir.file("Images/Short.bmp")));

  // Leaf rounds over 12 devices, five at a time.
  for (int i = 0; i < 12; ++i) ASSERT_EQ(c.code(kLinkCmdAddNode, Cat({kNodeSerial}, Id(0))), 25);
  auto leaves = [&] {
    V r = c.req(kLinkCmdGetDeviceData, Cat({4}, Cat(Id(0), {0, 5})));
    EXPECT_EQ(r[5], 11);
    return (r.size() - 9) / 18;  // id and 16 mask bytes of an ASCII device
  };
  EXPECT_EQ(leaves(), 5u);
  EXPECT_EQ(leaves(), 5u);
  EXPECT_EQ(leaves(), 2u);
  EXPECT_EQ(leaves(), 5u);

  // Every command, cut after its command byte: the failure code, and the
  // service goes on.
  for (uint8_t cmd = 2; cmd <= kLinkLastCommand; ++cmd) {
    V r = c.req(cmd);
    ASSERT_GE(r.size(), 6u) << int(cmd);
    EXPECT_EQ(r[4], cmd);
    // Commands that act without data, or always succeed, answer success.
    const bool succeeds = cmd == kLinkCmdGetMapList || cmd == kLinkCmdSaveMap ||
                          cmd == kLinkCmdSetAutoLoadMap || cmd == kLinkCmdUserDatabase ||
                          cmd == kLinkCmdNotifySettings || cmd == kLinkCmdEventTables ||
                          cmd == kLinkCmdStopAllAlarms || cmd == kLinkCmdControlPassword ||
                          cmd == kLinkCmdTrafficMonitor || cmd == kLinkCmdSetLanguage ||
                          cmd == kLinkCmdTestSound;
    EXPECT_EQ(r[5], succeeds ? LinkSuccessCode(cmd) : LinkFailureCode(cmd)) << int(cmd);
  }
  EXPECT_EQ(c.code(kLinkCmdVersion, {9, 7}), 65);
  EXPECT_EQ(service->stop(SIGTERM), 0) << service->output();
}

// A console whose call-back listener the service has connected to.
struct CallBackConsole {
  Console main;
  test::CallBackListener listener;
  std::unique_ptr<test::LinkTestClient> back;
  bool open() {
    if (!main.open() || main.code(kLinkCmdCallBack, Id(listener.port())) != 13) return false;
    back = listener.accept();
    return back != nullptr;
  }
  // The lock record of the next push (41 bytes, kind 1, command 2); empty otherwise.
  V lockPush() {
    auto f = back->readFrame();
    if (!f || f->size() != 41 || V(f->begin(), f->begin() + 5) != V{1, 1, 0, 37, 2}) return {};
    return V(f->begin() + 5, f->end());
  }
};

TEST_F(ConsoleSessionTest, ControlLockChangesArePushedToEveryConsoleConnectedBack) {
  auto service = startService();
  CallBackConsole a, b;
  ASSERT_TRUE(a.open() && b.open()) << service->output();

  // A's changing command takes the lock: both consoles hear A's address and port.
  EXPECT_EQ(a.main.code(kLinkCmdAddNode, Cat({kNodeGroup}, Id(0))), 25);
  for (CallBackConsole* c : {&a, &b}) {
    V rec = c->lockPush();
    ASSERT_EQ(rec.size(), kControlLockSize);
    EXPECT_EQ(u32At(rec, kLockOffActive), 1u);
    EXPECT_EQ(strAt(rec, kLockOffAddress, kLockAddressSize), "127.0.0.1");
    EXPECT_EQ(u16At(rec, kLockOffPort), a.main.localPort());
  }
  // B's changing command is refused, with the holder in the reply.
  V reply = b.main.req(kLinkCmdAddNode, Cat({kNodeGroup}, Id(0)));
  ASSERT_EQ(reply.size(), 7u + kControlLockSize);
  EXPECT_EQ(reply[5], 26);
  EXPECT_EQ(u16At(reply, 7 + kLockOffPort), a.main.localPort());
  // A saves: the lock is free and both hear it.
  EXPECT_EQ(a.main.code(kLinkCmdSaveMap, {0}), 15);
  for (CallBackConsole* c : {&a, &b}) {
    V rec = c->lockPush();
    ASSERT_EQ(rec.size(), kControlLockSize);
    EXPECT_EQ(u32At(rec, kLockOffActive), 0u);
  }
  EXPECT_EQ(service->stop(SIGTERM), 0) << service->output();
}

// The simulator on a pseudo-terminal linked as <install>/ports/COM1.
class Simulator {
 public:
  explicit Simulator(const std::string& portsDir) {
    MakeDirs(portsDir);
    int out[2];
    if (pipe(out) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      dup2(out[1], 1);
      close(out[0]);
      std::string prog = test::BuiltProgram("tools/ups_sim");
      execl(prog.c_str(), prog.c_str(), "--pty-dir", portsDir.c_str(), "--com", "1", "--ups", "1",
            static_cast<char*>(nullptr));
      _exit(127);
    }
    close(out[1]);
    // Wait for "ready".
    std::string line;
    char ch;
    while (read(out[0], &ch, 1) == 1 && ch != '\n') line += ch;
    ready_ = line.rfind("ready", 0) == 0;
    close(out[0]);
  }
  ~Simulator() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
  }
  bool ready() const { return ready_; }

 private:
  pid_t pid_ = -1;
  bool ready_ = false;
};

TEST_F(ConsoleSessionTest, DeviceDataOfTheSimulatedUpsArrivesRaw) {
  Simulator sim(dir.file("ports"));
  ASSERT_TRUE(sim.ready());
  auto service = startService();
  Console c;
  ASSERT_TRUE(c.open()) << service->output();
  ASSERT_EQ(c.code(kLinkCmdAddNode, Cat({kNodeSerial}, Id(0))), 25);
  ASSERT_EQ(c.code(kLinkCmdSetNodeProperties, Cat(Cat({0}, Id(1)), Image("UPS", 0, "COM1"))), 27);

  const AsciiUpsProfile profile;
  V block;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (std::chrono::steady_clock::now() < deadline) {
    V r = c.req(kLinkCmdGetDeviceData, Cat({1}, Cat(Id(1), {0, 0})));
    ASSERT_EQ(r.size(), 9u + kAsciiLiveDataSize) << service->output();
    block.assign(r.begin() + 9, r.end());
    if (strAt(block, ascii_off::kModel, ascii_off::kModelSize) == profile.model &&
        i32At(block, ascii_off::kSlots + 4 * 43) == AsciiSampleInputVoltage(1)) {
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  EXPECT_EQ(strAt(block, ascii_off::kModel, ascii_off::kModelSize), profile.model);
  EXPECT_EQ(strAt(block, ascii_off::kManufacturer, ascii_off::kManufacturerSize),
            profile.manufacturer);
  EXPECT_EQ(
      strAt(block, ascii_off::kSerialNumber, ascii_off::kSerialNumberSize).rfind(profile.serial, 0),
      0u);
  EXPECT_EQ(i32At(block, ascii_off::kSlots + 4 * 43), AsciiSampleInputVoltage(1));

  // The long form of the leaf round carries the same block after five bytes.
  V r = c.req(kLinkCmdGetDeviceData, Cat({3}, Cat(Id(0), {0, 5})));
  ASSERT_EQ(r.size(), 9u + 5 + kAsciiLiveDataSize);
  EXPECT_EQ(be16At(r, 9), 1);
  EXPECT_EQ(r[11], kCommAscii);
  EXPECT_EQ(strAt(r, 14 + ascii_off::kModel, ascii_off::kModelSize), profile.model);
  EXPECT_EQ(service->stop(SIGTERM), 0) << service->output();
}

}  // namespace
}  // namespace lark
