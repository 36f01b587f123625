// Console requests against real subsystems on a temporary install folder:
// the dispatcher, the handlers and the reply layouts, without sockets.
#include "linkserver/link_requests.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

#include "core/action_tables.h"
#include "linkserver/command_queue.h"
#include "linkserver/control_lock.h"
#include "core/device_tree.h"
#include "core/event_log.h"
#include "core/language_texts_store.h"
#include "common/byte_writer.h"
#include "linkserver/link_replies.h"
#include "linkserver/link_transfer.h"
#include "core/map_file.h"
#include "core/settings.h"
#include "platform/clock.h"
#include "tests/support/link_test_client.h"
#include "platform/paths.h"
#include "tests/support/recording_event_log.h"
#include "tests/support/temp_dir.h"
#include "tests/support/tree_fixtures.h"
#include "tests/support/mountns.h"

namespace lark {
namespace {

using V = std::vector<uint8_t>;

V Cat(V a, const V& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

V Frame(uint8_t command, V data = {}) { return test::LinkRequestFrame(command, data); }

// sub, then a FileChunkHeader.
V ChunkRequest(uint8_t sub, uint32_t offset, uint32_t length, const std::string& name) {
  V d(1 + kFileChunkHeaderSize, 0);
  d[0] = sub;
  FileChunkHeader h{offset, length, name};
  PutChunkHeader(Bytes(d.data() + 1, kFileChunkHeaderSize), 0, h);
  return d;
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

class RecordingSink final : public UpsCommandSink {
 public:
  int SendDeviceControl(DeviceNode& n, int32_t code, int32_t a, int32_t b) override {
    sent.push_back("dev " + std::to_string(n.id()) + " " + std::to_string(code) + " " +
                   std::to_string(a) + " " + std::to_string(b));
    return 1;
  }
  int SendGroupControl(DeviceNode& n, int32_t code, int32_t, int32_t) override {
    sent.push_back("group " + std::to_string(n.id()) + " " + std::to_string(code));
    return 1;
  }
  int SendAllControl(int32_t code, int32_t, int32_t) override {
    sent.push_back("all " + std::to_string(code));
    return 1;
  }
  void QueueAsciiCommand(DeviceNode&, std::string_view text) override { sent.emplace_back(text); }
  void QueueBinaryFrame(DeviceNode&, CBytes frame) override {
    sent.push_back("frame " + std::to_string(frame.size()));
  }
  bool CanQueueFor(int16_t commType) const override {
    return binaryFrames || commType != kCommThreePhase;
  }
  // Whole requests only, into a queue with `room` free entries.
  bool QueueAsciiCommands(DeviceNode&, std::span<const std::string> texts) override {
    if (texts.size() > room) return false;
    sent.insert(sent.end(), texts.begin(), texts.end());
    return true;
  }
  bool QueueModbusCommands(DeviceNode& node, std::span<const ModbusPdu> pdus) override {
    if (node.commType() != kCommModbusUps || pdus.size() > room) return false;
    for (const ModbusPdu& p : pdus) {
      char t[32];
      std::snprintf(t, sizeof t, "mb %d %04X=%d", p[0], (p[1] << 8) | p[2], (p[3] << 8) | p[4]);
      sent.emplace_back(t);
    }
    return true;
  }
  std::vector<std::string> sent;
  bool binaryFrames = true;
  size_t room = 10;
};

struct LinkRequestsTest : ::testing::Test {
  test::TempDir dir;
  FakeClock clock{1000};
  CommandQueues queues;
  ControlLock lock{clock, queues};
  test::RecordingEventLog log;
  DeviceTree tree;
  ServiceSettings settings;
  SettingsStore store{dir.path()};
  MapStore maps{dir.path(), tree, log};
  EventLog eventLog{clock, {}};
  LanguageTables languages{dir.path()};
  RecordingSink sink;
  LinkServices services{lock};
  uint16_t version = 0x0907;
  V out = V(kLinkBufferSize);

  LinkRequestsTest() {
    Tree_ResetRoot(tree);
    settings.historyDirectory = dir.path();
    services.installDir = dir.path();
    services.tree = &tree;
    services.maps = &maps;
    services.settingsStore = &store;
    services.settings = &settings;
    services.eventLog = &eventLog;
    services.languages = &languages;
    services.clock = &clock;
    services.deviceCommands = &sink;
    std::string name;
    maps.OpenMapFile(name);  // "Untitled"
    eventLog.setPath(dir.path(), maps.currentMapName());
  }

  void LoadEnglish() {
    std::filesystem::copy(test::SourcePath("data/English"), dir.file("English"),
                          std::filesystem::copy_options::recursive);
    languages.load("English");
  }

  V dispatch(const V& frame, int slot = 0, LinkPeer peer = {0x7F000001, 4000}) {
    LinkRequest r(frame, slot, peer, version, services);
    LinkFrameBuilder b(out);
    size_t n = DispatchLinkRequest(r, b);
    return V(out.begin(), out.begin() + static_cast<long>(n));
  }
  uint8_t code(const V& frame, int slot = 0) {
    V reply = dispatch(frame, slot);
    return reply.size() > 5 ? reply[5] : 0;
  }
  // Adds a node of `kind` under `parent` through the console command; its id.
  int16_t add(uint8_t kind, int16_t parent = 0) {
    V reply = dispatch(Frame(
        kLinkCmdAddNode, {kind, static_cast<uint8_t>(parent >> 8), static_cast<uint8_t>(parent)}));
    EXPECT_EQ(reply[5], 25);
    DeviceNode* p = Tree_FindNodeById(parent, &tree.root());
    return p->child(p->childCount() - 1)->id();
  }
};

// ---- bad input ----

TEST_F(LinkRequestsTest, BadInputAnswersEachCommandsFailureCode) {
  LoadEnglish();
  const int16_t group = add(kNodeGroup);
  const int16_t ups = add(kNodeSerial, group);
  lock.reset();
  auto id = [](int16_t v) { return V{static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)}; };
  auto cat = [](V a, const V& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
  };
  struct Case {
    const char* what;
    V frame;
    uint8_t code;
  } cases[] = {
      {"open: no name", Frame(3), 6},
      {"open: missing map", Frame(3, {'x', '.', 'U', 'M', 'F', 0}), 6},
      {"open: path", Frame(3, {'.', '.', '/', 'x', 0}), 6},
      {"settings: no length field", Frame(4, {0, 0, 0, 0, 0, 1}), 8},
      {"settings: chunk larger than a frame", Frame(4, ChunkRequest(0, 0, 70000, "")), 8},
      {"file: header cut", Frame(5, V(40, 0)), 10},
      {"device data: no node", Frame(6, cat({0}, cat(id(999), {0, 0}))), 12},
      {"device data: unknown sub", Frame(6, cat({9}, cat(id(ups), {0, 0}))), 12},
      {"device data: round without count", Frame(6, cat({3}, id(0))), 12},
      {"save as: empty name", Frame(8, {1}), 16},
      {"save as: path", Frame(8, cat({1}, {'/', 'e', 't', 'c', 0})), 16},
      {"new map: short", Frame(9, V(255, 'a')), 18},
      {"event log: operator record short", Frame(11, V(200, 0)), 22},
      {"event log: event record short", Frame(11, cat({1}, V(250, 0))), 22},
      {"event log: query (no database)", Frame(11, {2, 'x'}), 22},
      {"event log: device log short", Frame(11, {7, 0, 0}), 22},
      {"event log: device log of a group", Frame(11, cat({7, 2, 0, 0, 0}, V(16, 0))), 22},
      {"database: login", Frame(12, cat({7}, V(70, 0))), 24},
      {"add: kind 4", Frame(13, cat({4}, id(0))), 26},
      {"add: parent is a device", Frame(13, cat({0}, id(ups))), 26},
      {"add: no parent id", Frame(13, {0, 0}), 26},
      {"properties: no id", Frame(14, {0, 0}), 28},
      {"properties: group sub on a device", Frame(14, cat({1}, cat(id(ups), V(7616, 0)))), 28},
      {"properties: short image", Frame(14, cat({0}, cat(id(ups), V(7615, 0)))), 28},
      {"properties: unknown sub", Frame(14, cat({8}, id(ups))), 28},
      {"properties: PLC record short", Frame(14, cat({4}, cat(id(ups), V(2405, 0)))), 28},
      {"properties: mask words short", Frame(14, cat({6}, cat(id(ups), V(7, 0)))), 28},
      {"picture: no node", Frame(15, cat(id(999), V(7700, 0))), 30},
      {"picture: short", Frame(15, id(group)), 30},
      {"cut: root", Frame(16, id(0)), 32},
      {"cut: no id", Frame(16, {0}), 32},
      {"paste: empty clipboard", Frame(17, id(group)), 34},
      {"remove: root", Frame(18, cat({0}, id(0))), 36},
      {"remove: no id", Frame(18, {0, 0}), 36},
      {"polling: sub 0", Frame(19, V(8069, 0)), 38},
      {"notify: write short", Frame(20, cat({1}, V(12791, 0))), 40},
      {"notify: unknown odd group", Frame(20, cat({13}, V(12792, 0))), 40},
      {"tables: unknown sub", Frame(21, {22}), 42},
      {"tables: write one byte short", Frame(21, cat({3}, V(31407, 0))), 42},
      {"tables: max lines short", Frame(21, {33, 1, 0}), 42},
      {"history: report", Frame(22, cat({2}, V(40, 0))), 44},
      {"password: short", Frame(24, cat({2}, V(31, 'a'))), 48},
      {"password: sub 3", Frame(24, {3}), 48},
      {"traffic: unwired", Frame(25, {0}), 50},
      {"control: no fan-out", Frame(26, V(44, 0)), 52},
      {"settings: device is a group",
       Frame(28, cat({0}, cat({static_cast<uint8_t>(group), 0}, V(150, 0)))), 56},
      {"schedule: sub 0", Frame(29, cat({0}, V(472, 0))), 58},
      {"schedule: no node", Frame(29, cat({1}, V(472, 0xFF))), 58},
      {"icon: no node", Frame(30, cat({1}, V(20, 0x7F))), 60},
      {"icon: short", Frame(30, cat({1}, V(19, 0))), 60},
      {"images: no header", Frame(31, {1}), 62},
      {"upload: header only, length 5", Frame(32, ChunkRequest(0, 0, 5, "a.png")), 64},
  };
  for (const Case& c : cases) {
    V reply = dispatch(c.frame);
    ASSERT_GE(reply.size(), 6u) << c.what;
    EXPECT_EQ(reply[5], c.code) << c.what;
    EXPECT_EQ(LinkFrameSize(reply), reply.size()) << c.what;
    lock.reset();
  }
  // Oversized and garbage frames of every command stay within the frame.
  for (uint8_t c = 1; c <= kLinkLastCommand; ++c) {
    for (uint8_t fill : {0x00, 0xFF, 0x41}) {
      V reply = dispatch(Frame(c, V(65000, fill)));
      EXPECT_FALSE(reply.empty()) << int(c);
      lock.reset();
    }
  }
  EXPECT_FALSE(FileExists(dir.file("Images/a.png")));
}

// ---- file transfer ----

TEST_F(LinkRequestsTest, DownloadsInChunksAndEndsAnExactMultipleWithAnEmptyChunk) {
  const std::string body(2 * 1000, 'k');
  ASSERT_TRUE(WriteFileAtomic(dir.file("manager.ini"), body));
  std::string got;
  std::vector<size_t> sizes;
  for (uint32_t off = 0;; off += 1000) {
    V reply = dispatch(Frame(4, ChunkRequest(0, off, 1000, "")));
    ASSERT_EQ(reply[5], 7);
    ASSERT_EQ(reply[6], 0);
    sizes.push_back(reply.size() - 7);
    got.append(reply.begin() + 7, reply.end());
    if (reply.size() - 7 < 1000) break;
  }
  EXPECT_EQ(got, body);
  EXPECT_EQ(sizes, (std::vector<size_t>{1000, 1000, 0}));

  // A map by name, case as the console writes it.
  ASSERT_TRUE(WriteFileAtomic(dir.file("Site.UMF"), "[Main]\r\nNumber=0\r\n"));
  V reply = dispatch(Frame(5, ChunkRequest(0, 0, 32768, "site.umf")));
  ASSERT_EQ(reply[5], 9);
  EXPECT_EQ(std::string(reply.begin() + 7, reply.end()), "[Main]\r\nNumber=0\r\n");
}

TEST_F(LinkRequestsTest, NamesOutsideTheFoldersAreRefused) {
  ASSERT_TRUE(WriteFileAtomic(dir.file("secret"), "s"));
  MakeDirs(dir.file("sub"));
  for (const char* name :
       {"../secret", "/etc/passwd", "..\\secret", "C:secret", "sub/../secret", "sub\\x", ".", ""}) {
    EXPECT_EQ(code(Frame(5, ChunkRequest(0, 0, 100, name))), 10) << name;
    EXPECT_EQ(code(Frame(31, ChunkRequest(1, 0, 100, name))), 62) << name;
    V header = ChunkRequest(0, 0, 1, name);
    header.erase(header.begin());  // the upload has no sub byte
    header.push_back('z');
    EXPECT_EQ(code(Frame(32, header)), 64) << name;
  }
  // The data root allows one folder: the map's.
  EXPECT_EQ(code(Frame(11, ChunkRequest(5, 0, 100, "a\\b\\c"))), 22);
  EXPECT_EQ(code(Frame(11, ChunkRequest(5, 0, 100, "..\\secret"))), 22);
  EXPECT_EQ(ReadAll(dir.file("secret")), "s");
  EXPECT_FALSE(FileExists(dir.file("z")));
}

TEST_F(LinkRequestsTest, UploadThenDownloadCompareEqualAndTheLengthMustMatch) {
  V data(kUploadPieceSize + 1000);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7);
  auto upload = [&](uint32_t offset, const V& chunk, uint32_t declared) {
    V d = ChunkRequest(0, offset, declared, "Pic.bmp");
    d.erase(d.begin());  // no sub: the header starts at byte 5
    d.insert(d.end(), chunk.begin(), chunk.end());
    return code(Frame(32, d));
  };
  EXPECT_EQ(upload(0, V(data.begin(), data.begin() + kUploadPieceSize), kUploadPieceSize), 63);
  // Declared length and bytes present differ: refused, nothing taken.
  EXPECT_EQ(upload(kUploadPieceSize, V(10, 1), 11), 64);
  EXPECT_EQ(upload(kUploadPieceSize, V(10, 1), 9), 64);
  EXPECT_FALSE(FileExists(dir.file("Images/Pic.bmp")));
  EXPECT_EQ(upload(kUploadPieceSize, V(data.begin() + kUploadPieceSize, data.end()), 1000), 63);

  V reply = dispatch(Frame(31, ChunkRequest(1, 0, 40000, "pic.bmp")));
  ASSERT_EQ(reply[5], 61);
  EXPECT_EQ(V(reply.begin() + 7, reply.end()), data);

  // A first chunk again replaces the file.
  EXPECT_EQ(upload(0, V(5, 9), 5), 63);
  EXPECT_EQ(ReadAll(dir.file("Images/Pic.bmp")), std::string(5, '\x09'));
}

TEST_F(LinkRequestsTest, EventLogChunksComeFromTheMapFolderWithTheHeaderEchoed) {
  eventLog.WriteEventLog(1, 0, 5, "first");
  eventLog.WriteEventLog(2, 0, 5, "second");
  const std::string file = ReadAll(eventLog.filePath());
  ASSERT_FALSE(file.empty());
  V reply = dispatch(Frame(11, ChunkRequest(5, 0, 32768, "Untitled\\Event.log")));
  ASSERT_EQ(reply[5], 21);
  ASSERT_GE(reply.size(), 271u);
  EXPECT_EQ(u32At(reply, 7 + kChunkOffLength), file.size());
  EXPECT_EQ(strAt(reply, 7 + kChunkOffName, kChunkNameSize), "Untitled\\Event.log");
  EXPECT_EQ(std::string(reply.begin() + 271, reply.end()), file);
}

// 22/1 with the history folder at image offset 372.
V HistoryFrame(const std::string& folder) {
  V d(1 + 8068, 0);
  d[0] = 1;
  std::copy(folder.begin(), folder.end(), d.begin() + 1 + 372);
  return Frame(22, d);
}

TEST_F(LinkRequestsTest, HistoryFolderMustBeAPlainWritableFolderOutsideTheSystem) {
  ASSERT_TRUE(MakeDirs(dir.file("hist")));
  ASSERT_EQ(symlink(dir.file("hist").c_str(), dir.file("link").c_str()), 0);
  ASSERT_EQ(code(HistoryFrame("")), 43);  // empty: the install folder
  const std::string before = ReadAll(store.iniPath());
  for (const std::string& bad : {std::string("/etc"), std::string("/"), std::string("relative/dir"),
                                 dir.file("link"), dir.file("missing")}) {
    EXPECT_EQ(code(HistoryFrame(bad)), 44) << bad;
    EXPECT_EQ(settings.historyDirectory, dir.path()) << bad;
    EXPECT_EQ(ReadAll(store.iniPath()), before) << bad;
  }
  EXPECT_EQ(code(HistoryFrame(dir.file("hist"))), 43);
  EXPECT_EQ(settings.historyDirectory, dir.file("hist"));
  EXPECT_NE(ReadAll(store.iniPath()).find(dir.file("hist")), std::string::npos);
}

TEST_F(LinkRequestsTest, DataRootServesOnlyTheConsolesFileKinds) {
  eventLog.WriteEventLog(1, 0, 5, "first");
  ASSERT_TRUE(MakeDirs(dir.file("Untitled/12/2026")));
  ASSERT_TRUE(WriteFileAtomic(dir.file("Untitled/12/2026/3.DAT"), "0\r\n1\t2\r\n"));
  for (const char* other : {"shadow", "passwd", "Untitled/passwd", "Untitled/Tree_Map.dat"}) {
    ASSERT_TRUE(WriteFileAtomic(dir.file(other), "secret"));
  }
  for (const char* name : {"shadow", "../x", "passwd", "Untitled\\passwd", "Untitled\\shadow",
                           "Untitled\\Tree_Map.dat", "Untitled\\..\\passwd"}) {
    EXPECT_EQ(code(Frame(11, ChunkRequest(5, 0, 100, name))), 22) << name;
  }
  for (const char* name : {"Untitled\\Event.log", "Untitled\\12\\2026\\3.DAT"}) {
    EXPECT_EQ(code(Frame(11, ChunkRequest(5, 0, 100, name))), 21) << name;
  }
}

TEST_F(LinkRequestsTest, ConsoleEventLineThatCannotBeWrittenAnswersTheFailureCode) {
  V record(1 + 268, 0);
  record[0] = 1;
  record[13] = 'x';  // the text at frame byte 18
  EXPECT_EQ(code(Frame(11, record)), 21);
  ASSERT_EQ(::unlink(eventLog.filePath().c_str()), 0);
  ASSERT_EQ(::mkdir(eventLog.filePath().c_str(), 0755), 0);  // cannot be opened
  EXPECT_EQ(code(Frame(11, record)), 22);
}

// 21/33: the limit manager.ini would load, and the log goes on.
TEST_F(LinkRequestsTest, EventLogLimitTakesTheSettingsReadersRule) {
  struct Case {
    int32_t sent;
    int32_t kept;
  } cases[] = {{-1, 10000}, {0, 10000}, {5, 10}, {INT32_MAX, 999999999}, {300, 300}};
  for (const Case& c : cases) {
    V data{33, 0, 0, 0, 0};
    putU32(Bytes(data), 1, static_cast<uint32_t>(c.sent));
    ASSERT_EQ(code(Frame(21, data)), 41) << c.sent;
    EXPECT_EQ(eventLog.maxLines(), c.kept) << c.sent;
    ServiceSettings loaded;
    SettingsStore(dir.path()).LoadManagerIni(loaded);
    EXPECT_EQ(loaded.maxEventLog, c.kept) << c.sent;
    const int32_t before = eventLog.lineCount();
    eventLog.WriteEventLog(0, 2, 1000, "still logging");
    EXPECT_EQ(eventLog.lineCount(), before + 1) << c.sent;
  }
}

// A save that fails answers the command's failure code.
TEST_F(LinkRequestsTest, CommandsThatSaveAnswerTheirFailureWhenTheWriteFails) {
  if (!test::EnterPrivateMounts()) GTEST_SKIP() << "no private mount namespace";
  ASSERT_EQ(code(Frame(10, {'A', 0})), 19);
  ASSERT_TRUE(test::MakeReadOnly(dir.path()));
  V limit{33, 0, 0, 0, 0};
  putU32(Bytes(limit), 1, 500);
  const struct {
    const char* what;
    V frame;
    uint8_t code;
  } cases[] = {
      {"auto-load name", Frame(10, {'B', 0}), 20},
      {"polling", Frame(19, Cat({1}, V(8068, 1))), 38},
      {"event log limit", Frame(21, limit), 42},
      {"reaction masks", Frame(21, Cat({31}, V(8068, 1))), 42},
      {"password", Frame(24, {1}), 48},
      {"history", HistoryFrame(""), 44},
  };
  const std::string before = ReadAll(store.iniPath());
  for (const auto& c : cases) EXPECT_EQ(code(c.frame), c.code) << c.what;
  EXPECT_EQ(ReadAll(store.iniPath()), before);
  EXPECT_TRUE(test::Unmount(dir.path()));

  // An upload that does not fit leaves the old picture whole and no empty
  // part file behind (with no room kept for the event log, so the write
  // itself fails).
  services.uploadDiskReserve = 0;
  ASSERT_TRUE(MakeDirs(dir.file("Images")));
  ASSERT_TRUE(test::MountSmallDisk(dir.file("Images"), 64 * 1024));
  ASSERT_TRUE(WriteFileAtomic(dir.file("Images/big.bmp"), std::string(40000, 'o')));
  auto piece = [&](const char* name, uint32_t offset, uint32_t size) {
    V upload = ChunkRequest(0, offset, size, name);
    upload.erase(upload.begin());  // the upload has no sub byte
    upload.resize(upload.size() + size, 7);
    return code(Frame(32, upload));
  };
  auto left = [&] {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir.file("Images")))
      names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  };
  EXPECT_EQ(piece("big.bmp", 0, kUploadPieceSize), 64) << "the old and the new do not fit together";
  EXPECT_EQ(ReadAll(dir.file("Images/big.bmp")), std::string(40000, 'o'));
  EXPECT_EQ(left(), std::vector<std::string>{"big.bmp"});
  // A smaller picture in one piece fits, and replaces it.
  EXPECT_EQ(piece("big.bmp", 0, 20000), 63);
  EXPECT_EQ(ReadAll(dir.file("Images/big.bmp")).size(), 20000u);
  EXPECT_EQ(piece("c.bmp", 0, kUploadPieceSize), 63);
  EXPECT_EQ(piece("c.bmp", kUploadPieceSize, kUploadPieceSize), 64);
  EXPECT_EQ(ReadAll(dir.file("Images/c.bmp.part")).size(), kUploadPieceSize)
      << "the piece is taken off again";
  EXPECT_EQ(left(), (std::vector<std::string>{"big.bmp", "c.bmp.part"}));
  EXPECT_TRUE(test::Unmount(dir.file("Images")));
}

// ---- device data ----

TEST_F(LinkRequestsTest, LeafRoundsReturnFiveFiveTwoThenStartAgain) {
  const int16_t g = add(kNodeGroup);
  for (int i = 0; i < 12; ++i) add(kNodeSerial, i < 6 ? 0 : g);
  auto round = [&](uint8_t sub, int slot) {
    V reply = dispatch(Frame(6, {sub, 0, 0, 0, 5}), slot);
    EXPECT_EQ(reply[5], 11);
    // Short form of an ASCII device: id + 16 mask bytes; long: 5 + 1448.
    const size_t each = sub == 4 ? 18 : 5 + kAsciiLiveDataSize;
    EXPECT_EQ((reply.size() - 9) % each, 0u);
    return (reply.size() - 9) / each;
  };
  EXPECT_EQ(round(3, 0), 5u);
  EXPECT_EQ(round(3, 0), 5u);
  EXPECT_EQ(round(3, 0), 2u);
  EXPECT_EQ(round(3, 0), 5u);
  // Each slot and form keeps its own round.
  EXPECT_EQ(round(4, 0), 5u);
  EXPECT_EQ(round(3, 1), 5u);
  EXPECT_EQ(round(4, 0), 5u);
  // A new console on slot 0 starts afresh.
  ResetLinkSlot(services, 0);
  EXPECT_EQ(round(4, 0), 5u);
  EXPECT_EQ(round(4, 0), 5u);
  EXPECT_EQ(round(4, 0), 2u);
}

TEST_F(LinkRequestsTest, ARoundThatRunsOutOfRoomIsNotOver) {
  for (int i = 0; i < 50; ++i) add(kNodeSerial);
  const size_t each = 5 + kAsciiLiveDataSize;
  const size_t fit = (0xFFFF + 4 - 9) / each;  // 45
  auto leaves = [&] {
    V reply = dispatch(Frame(6, {3, 0, 0, 0, 50}));
    EXPECT_EQ(reply[5], 11);
    return (reply.size() - 9) / each;
  };
  EXPECT_EQ(leaves(), fit);
  EXPECT_EQ(leaves(), 50 - fit);  // the rest: round over
  EXPECT_EQ(leaves(), fit);       // a new round
}

TEST_F(LinkRequestsTest, DeviceDataSubsCarryTheImageBlockAndMasks) {
  const int16_t id = add(kNodeSerial);
  DeviceNode* node = Tree_FindNodeById(id, &tree.root());
  node->block(BlockKind::kAscii)->setMask(MaskWord::kCurrent, 0x0102030405060708ull);
  V reply = dispatch(Frame(6, {0, 0, static_cast<uint8_t>(id), 0, 0}));
  ASSERT_EQ(reply.size(), 9 + kDeviceNodeSize);
  EXPECT_EQ(be16At(reply, 7), id);
  EXPECT_EQ(i16At(reply, 9 + node_off::kId), id);
  reply = dispatch(Frame(6, {1, 0, static_cast<uint8_t>(id), 0, 0}));
  ASSERT_EQ(reply.size(), 9 + kAsciiLiveDataSize);
  EXPECT_EQ(u64At(reply, 9 + 8), 0x0102030405060708ull);
  reply = dispatch(Frame(6, {2, 0, 0, 0, 0}));  // children of the root, short form
  ASSERT_EQ(reply.size(), 9 + 18u);
  EXPECT_EQ(be16At(reply, 9), id);
  EXPECT_EQ(u64At(reply, 11), 0x0102030405060708ull);
}

// ---- tree edits ----

TEST_F(LinkRequestsTest, CommTypeOneToSevenLeavesOnlyASensorBlockOfUnknownValues) {
  const int16_t id = add(kNodeSerial);
  DeviceNode* node = Tree_FindNodeById(id, &tree.root());
  node->setCommType(kCommThreePhase);
  KeepOnlyCommTypeBlock(*node);
  ASSERT_NE(node->block(BlockKind::kBinary), nullptr);

  V image(kDeviceNodeSize, 0);
  putStr(image, node_off::kTitle, node_off::kTitleSize, "Sensor one");
  putStr(image, node_off::kCom, node_off::kComSize, "COM4");
  putI16(image, node_off::kCommType, kCommSensor);
  putU16(image, node_off::kBaud, 9600);
  // Texts without a terminator are cut at the field's end.
  std::fill(image.begin() + node_off::kLocation,
            image.begin() + node_off::kLocation + node_off::kLocationSize, 'L');
  V data = {0, 0, static_cast<uint8_t>(id)};
  data.insert(data.end(), image.begin(), image.end());
  V reply = dispatch(Frame(14, data));
  ASSERT_EQ(reply[5], 27);
  ASSERT_EQ(reply.size(), 7 + kControlLockSize);
  EXPECT_EQ(node->block(BlockKind::kBinary), nullptr);
  ASSERT_NE(node->block(BlockKind::kSensor), nullptr);
  EXPECT_EQ(node->title(), "Sensor one");
  EXPECT_EQ(node->location(), std::string(node_off::kLocationSize - 1, 'L'));
  EXPECT_EQ(node->baud(), 9600);

  reply = dispatch(Frame(6, {1, 0, static_cast<uint8_t>(id), 0, 0}));
  ASSERT_EQ(reply.size(), 9 + kSensorLiveDataSize);
  for (int i = 0; i < 7; ++i) EXPECT_EQ(i32At(reply, 9 + 16 + 4 * i), -1) << i;
  EXPECT_EQ(strAt(reply, 9 + 61, 31), "Norva Sensor");

  // A CommType outside 0..9 changes nothing.
  putI16(data, 3 + node_off::kCommType, 10);
  EXPECT_EQ(code(Frame(14, data)), 28);
  EXPECT_EQ(node->commType(), kCommSensor);
}

TEST_F(LinkRequestsTest, CutPasteRemoveAndTheirRefusals) {
  const int16_t a = add(kNodeGroup);
  const int16_t b = add(kNodeGroup);
  const int16_t dev = add(kNodeSerial, a);
  auto id = [](int16_t v) { return V{static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)}; };
  EXPECT_EQ(code(Frame(17, id(b))), 34);  // empty clipboard
  EXPECT_EQ(code(Frame(16, id(dev))), 31);
  EXPECT_EQ(Tree_FindNodeById(dev, &tree.root()), nullptr);
  EXPECT_EQ(code(Frame(17, id(999))), 34);
  EXPECT_EQ(code(Frame(17, id(dev))), 34);  // the clipboard itself is no target
  EXPECT_EQ(code(Frame(17, id(b))), 33);
  DeviceNode* moved = Tree_FindNodeById(dev, &tree.root());
  ASSERT_NE(moved, nullptr);
  EXPECT_EQ(moved->parent()->id(), b);
  EXPECT_EQ(code(Frame(17, id(b))), 34);  // clipboard empty again

  // A target that is a device is refused and the clipboard kept.
  EXPECT_EQ(code(Frame(16, id(a))), 31);
  EXPECT_EQ(code(Frame(17, id(dev))), 34);
  EXPECT_NE(tree.clipboard(), nullptr);

  V reply = dispatch(Frame(18, V{1, static_cast<uint8_t>(b >> 8), static_cast<uint8_t>(b)}));
  EXPECT_EQ(reply[5], 35);
  EXPECT_EQ(reply.size(), 6 + kControlLockSize);
  EXPECT_EQ(Tree_FindNodeById(b, &tree.root())->childCount(), 0);
  EXPECT_EQ(code(Frame(18, V{0, static_cast<uint8_t>(b >> 8), static_cast<uint8_t>(b)})), 35);
  EXPECT_EQ(Tree_FindNodeById(b, &tree.root()), nullptr);
  EXPECT_TRUE(lock.active());
  EXPECT_EQ(lock.kind(), 0u);
}

TEST_F(LinkRequestsTest, PropertiesPlcRecordRoundTripsAndMaskWordsAreReadWithoutTheLock) {
  const int16_t id = add(kNodeSerial);
  lock.reset();
  V rec(kPlcSettingsSize, 0);
  putI16(rec, 0, 12);
  putI16(rec, 6 + 2 * 31, -5);
  std::fill(rec.begin() + 326, rec.begin() + 326 + 65, 'S');  // no terminator
  V data = {4, 0, static_cast<uint8_t>(id)};
  data.insert(data.end(), rec.begin(), rec.end());
  EXPECT_EQ(code(Frame(14, data)), 27);
  DeviceNode* node = Tree_FindNodeById(id, &tree.root());
  EXPECT_EQ(node->plcSource(0), std::string(64, 'S'));
  lock.reset();

  V reply = dispatch(Frame(14, {3, 0, static_cast<uint8_t>(id)}), 1, {0x7F000001, 5000});
  ASSERT_EQ(reply[5], 27);
  ASSERT_EQ(reply.size(), 7 + kPlcSettingsSize + kControlLockSize);
  EXPECT_EQ(i16At(reply, 7), 12);
  EXPECT_EQ(i16At(reply, 7 + 6 + 62), -5);
  EXPECT_FALSE(lock.active());

  EXPECT_EQ(code(Frame(14, {6, 0, static_cast<uint8_t>(id), 1, 0, 2, 0, 3, 0, 4, 0})), 27);
  reply = dispatch(Frame(14, {5, 0, static_cast<uint8_t>(id)}));
  ASSERT_EQ(reply.size(), 7 + 8 + kControlLockSize);
  EXPECT_EQ(V(reply.begin() + 7, reply.begin() + 15), (V{1, 0, 2, 0, 3, 0, 4, 0}));
}

// ---- maps ----

TEST_F(LinkRequestsTest, NewMapOnAnExistingNameAnswersSixWithoutTheLock) {
  ASSERT_TRUE(WriteFileAtomic(dir.file("Old.UMF"), "[Main]\r\nNumber=0\r\n"));
  V name(256, 0);
  std::string n = "Old";
  std::copy(n.begin(), n.end(), name.begin());
  EXPECT_EQ(code(Frame(9, name)), 6);
  EXPECT_FALSE(lock.active());
  EXPECT_EQ(queues.queue(1).count(), 0u);

  n = "Fresh";
  std::fill(name.begin(), name.end(), 0);
  std::copy(n.begin(), n.end(), name.begin());
  EXPECT_EQ(code(Frame(9, name)), 17);
  EXPECT_TRUE(FileExists(dir.file("Fresh.UMF")));
  EXPECT_EQ(maps.currentMapName(), "Fresh");
  EXPECT_FALSE(lock.active());

  V reply = dispatch(Frame(2));
  ASSERT_EQ(reply[5], 3);
  EXPECT_EQ(std::string(reply.begin() + 6, reply.end()), ";Fresh.UMF;Fresh.UMF;Old.UMF;");
}

TEST_F(LinkRequestsTest, AutoLoadNameIsSavedAndClearedWithSave) {
  std::string n = "Site.UMF";
  V data(n.begin(), n.end());
  data.push_back(0);
  EXPECT_EQ(code(Frame(10, data)), 19);
  EXPECT_NE(ReadAll(store.iniPath()).find("Site.UMF"), std::string::npos);
  EXPECT_EQ(code(Frame(10)), 19);
  EXPECT_EQ(settings.autoLoadMap, "");
  EXPECT_EQ(ReadAll(store.iniPath()).find("Site.UMF"), std::string::npos);
}

TEST_F(LinkRequestsTest, SaveWritesTheMapAndTheTreeDump) {
  add(kNodeGroup);
  V name(257, 0);
  name[0] = 1;
  std::string n = "Saved";
  std::copy(n.begin(), n.end(), name.begin() + 1);
  V reply = dispatch(Frame(8, name));
  EXPECT_EQ(reply, (V{1, 2, 0, 3, 8, 15, 1}));
  EXPECT_EQ(maps.currentMapName(), "Saved");
  EXPECT_TRUE(FileExists(dir.file("Saved.UMF")));
  EXPECT_TRUE(FileExists(dir.file("Saved/Tree_Map.dat")));
  EXPECT_FALSE(lock.active());
}

// ---- settings, tables, notification ----

TEST_F(LinkRequestsTest, EventTablesRoundTripAndAShortWriteChangesNothing) {
  LoadEnglish();
  V reply = dispatch(Frame(21, {2}));
  ASSERT_EQ(reply[5], 41);
  ASSERT_EQ(reply.size(), 7 + 52 * kActionRowSize);
  V table(reply.begin() + 7, reply.end());
  table[kActionLevelOff] = 7;  // a level above 2 is kept as it is
  V write = {3};
  write.insert(write.end(), table.begin(), table.end());
  EXPECT_EQ(code(Frame(21, write)), 41);
  reply = dispatch(Frame(21, {2}));
  EXPECT_EQ(V(reply.begin() + 7, reply.end()), table);

  write.back() ^= 0xFF;
  write.pop_back();
  EXPECT_EQ(code(Frame(21, write)), 42);
  reply = dispatch(Frame(21, {2}));
  EXPECT_EQ(V(reply.begin() + 7, reply.end()), table);
}

TEST_F(LinkRequestsTest, NotificationCountsAboveTwentyAreClamped) {
  V block(kNotificationBlockSize, 0);
  putStr(block, notify_off::kSmtpServer, 64, "smtp.example");
  putU32(block, notify_off::kEmailCount, 99);
  putStr(block, notify_off::kEmailList + 65, 65, "b@example");
  // A row without a terminator.
  std::fill(block.begin() + notify_off::kEmailList, block.begin() + notify_off::kEmailList + 65,
            'a');
  V data = {1};
  data.insert(data.end(), block.begin(), block.end());
  EXPECT_EQ(code(Frame(20, data)), 39);
  EXPECT_EQ(settings.emailList.count, 20);
  EXPECT_EQ(settings.emailList.addresses[0].size(), kListEntryMax);
  EXPECT_EQ(settings.emailList.addresses[1], "b@example");

  V reply = dispatch(Frame(20, {0}));
  ASSERT_EQ(reply.size(), 7 + kNotificationBlockSize);
  EXPECT_EQ(u32At(reply, 7 + notify_off::kEmailCount), 20u);
  EXPECT_EQ(strAt(reply, 7 + notify_off::kSmtpServer, 64), "smtp.example");
  // Fields of other groups carry nothing.
  EXPECT_EQ(u32At(reply, 7 + notify_off::kSmsCount), 0u);
}

TEST_F(LinkRequestsTest, DeviceSettingTextsCarryTheirRealLength) {
  const int16_t id = add(kNodeSerial);
  V block(152, 0);
  putI16(block, 0, id);
  putU32(block, 4, 1);
  putU32(block, 8, 10);  // VSN 10
  putU32(block, 52, 1);
  putU32(block, 56, 240);
  putU32(block, 60, 1234);  // BTV 240;1234
  putU32(block, 104, 1);
  putU32(block, 108, 50);  // TXF 50
  V data = {0};
  data.insert(data.end(), block.begin(), block.end());
  EXPECT_EQ(code(Frame(28, data)), 55);
  EXPECT_EQ(sink.sent, (std::vector<std::string>{"S011BTV240;1234", "S005VSN10", "S005TXF50"}));

  sink.sent.clear();
  std::fill(block.begin() + 2, block.end(), 0);
  putU32(block, 140, 1);
  putU32(block, 144, 0x0201);
  putU32(block, 148, 3);
  data = {1};
  data.insert(data.end(), block.begin(), block.end());
  EXPECT_EQ(code(Frame(28, data)), 55);
  ASSERT_EQ(sink.sent.size(), 1u);
  EXPECT_EQ(sink.sent[0], std::string("S007IDC\x01\x02\x03\x00", 11));
}

TEST_F(LinkRequestsTest, DeviceSettingsForAProtocolWithoutACommandPathAreRefused) {
  const int16_t id = add(kNodeSerial);
  Tree_FindNodeById(id, &tree.root())->setCommType(kCommThreePhase);
  sink.binaryFrames = false;
  V block(152, 0);
  putI16(block, 0, id);
  putU32(block, 4, 1);
  putU32(block, 8, 10);
  V data = {0};
  data.insert(data.end(), block.begin(), block.end());
  EXPECT_EQ(code(Frame(28, data)), 56);
  EXPECT_TRUE(sink.sent.empty());
}

// Command 28 on a Modbus UPS: one-register writes in table order, a request
// queued whole or refused, values that do not fit their register refused.
TEST_F(LinkRequestsTest, ModbusDeviceSettingsAreQueuedWholeOrRefused) {
  const int16_t id = add(kNodeSerial);
  DeviceNode* node = Tree_FindNodeById(id, &tree.root());
  node->setCommType(kCommModbusUps);
  struct Flag {
    size_t flag;
    std::vector<std::pair<size_t, int32_t>> values;
  };
  const std::vector<Flag> all = {{52, {{56, 1}, {60, 2}}}, {4, {{8, 3}}},     {28, {{32, 4}}},
                                 {12, {{16, 5}}},          {20, {{24, 6}}},    {36, {{40, 7}}},
                                 {44, {{48, 8}}},          {96, {{100, 0}}},   {64, {{72, 9}, {68, 10}}},
                                 {104, {{108, 11}}},       {88, {{92, 12}}},   {76, {{84, 13}, {80, 14}}}};
  auto request = [&](std::vector<size_t> flags, uint8_t sub = 0) {
    V block(152, 0);
    putI16(block, 0, id);
    for (const Flag& f : all) {
      if (std::find(flags.begin(), flags.end(), f.flag) == flags.end()) continue;
      putU32(block, f.flag, 1);
      for (auto [off, v] : f.values) putI32(block, off, v);
    }
    V data = {sub};
    data.insert(data.end(), block.begin(), block.end());
    sink.sent.clear();
    return code(Frame(28, data));
  };
  EXPECT_EQ(request({52, 64}), 55);
  EXPECT_EQ(sink.sent, (std::vector<std::string>{"mb 6 0312=1", "mb 6 0313=2", "mb 6 0304=9",
                                                 "mb 6 0305=10"}));
  std::vector<size_t> twelve;
  for (const Flag& f : all) twelve.push_back(f.flag);
  EXPECT_EQ(request(twelve), 56);  // twelve writes for a ten-entry queue
  EXPECT_TRUE(sink.sent.empty());

  // -1 would go out as 255.
  V block(152, 0);
  putI16(block, 0, id);
  putU32(block, 4, 1);
  putI32(block, 8, -1);
  V data = {0};
  data.insert(data.end(), block.begin(), block.end());
  EXPECT_EQ(code(Frame(28, data)), 56);
  putI32(block, 8, 256);  // register 0x0306 takes a byte
  data = {0};
  data.insert(data.end(), block.begin(), block.end());
  EXPECT_EQ(code(Frame(28, data)), 56);
  EXPECT_TRUE(sink.sent.empty());

  // The dry contacts, one register each.
  std::fill(block.begin() + 2, block.end(), 0);
  putU32(block, 112, 1);
  for (int i = 0; i < 6; ++i) putU32(block, 116 + 4 * static_cast<size_t>(i), 100 + static_cast<uint32_t>(i));
  data = {1};
  data.insert(data.end(), block.begin(), block.end());
  EXPECT_EQ(code(Frame(28, data)), 55);
  ASSERT_EQ(sink.sent.size(), 6u);
  EXPECT_EQ(sink.sent[0], "mb 6 0317=100");
  EXPECT_EQ(sink.sent[5], "mb 6 031C=105");

  node->setCommType(kCommInverter);
  EXPECT_EQ(request({52}), 56);
  EXPECT_TRUE(sink.sent.empty());
}

TEST_F(LinkRequestsTest, AsciiDeviceSettingsThatDoNotFitTheQueueAreRefused) {
  const int16_t id = add(kNodeSerial);
  sink.room = 2;
  V block(152, 0);
  putI16(block, 0, id);
  for (size_t flag : {4, 12, 20}) putU32(block, flag, 1);
  V data = {0};
  data.insert(data.end(), block.begin(), block.end());
  EXPECT_EQ(code(Frame(28, data)), 56);
  EXPECT_TRUE(sink.sent.empty());
}

TEST_F(LinkRequestsTest, IconMovesOnlyExistingNodes) {
  const int16_t id = add(kNodeSerial);
  V rec(20, 0);
  putI16(rec, 0, id);
  putI32(rec, 4, 10);
  putI32(rec, 16, 40);
  V data = {1};
  data.insert(data.end(), rec.begin(), rec.end());
  EXPECT_EQ(code(Frame(30, data)), 59);
  EXPECT_EQ(Tree_FindNodeById(id, &tree.root())->iconRect(), (NodeRect{10, 0, 0, 40}));
}

TEST_F(LinkRequestsTest, SlotUserIsClearedForANewConsole) {
  services.users[2] = {"admin", 3};
  V reply = dispatch(Frame(12, {2}), 2);
  ASSERT_EQ(reply[5], 23);
  EXPECT_EQ(strAt(reply, 7 + 2, 33), "admin");
  EXPECT_EQ(reply[7 + 67], 3);
  ResetLinkSlot(services, 2);
  reply = dispatch(Frame(12, {2}), 2);
  EXPECT_EQ(strAt(reply, 7 + 2, 33), "");
  EXPECT_EQ(reply[7 + 67], 0);
}

TEST_F(LinkRequestsTest, AsciiDeviceLogIsStartedAndReadOut) {
  const int16_t id = add(kNodeSerial);
  services.upsEventLog = [] { return V(4800, 0xAB); };
  // The engine's read-out state: 0 while reading.
  Tree_FindNodeById(id, &tree.root())->block(BlockKind::kAscii)->putU32(972, 0);
  V req(20, 0);
  putI32(req, 4, id);
  V reply = dispatch(Frame(11, Cat({7}, req)));
  ASSERT_EQ(reply[5], 21);
  EXPECT_EQ(sink.sent, (std::vector<std::string>{"P003AEL"}));
  ASSERT_EQ(reply.size(), 7 + 20u);
  EXPECT_EQ(i32At(reply, 7 + 8), 1);   // state: reading
  EXPECT_EQ(i32At(reply, 7 + 12), 1);  // progress
  putU32(req, 0, 2);
  reply = dispatch(Frame(11, Cat({7}, req)));
  ASSERT_EQ(reply.size(), 7 + 20u + 4600);
  EXPECT_EQ(reply.back(), 0xAB);
}

TEST(LinkRecordLayouts, ChunkHeaderAndSentBitsGolden) {
  V h(kFileChunkHeaderSize, 0xEE);
  PutChunkHeader(h, 0, FileChunkHeader{0x01020304, 0x8000, "ab"});
  EXPECT_EQ(V(h.begin(), h.begin() + 12), (V{4, 3, 2, 1, 0, 0x80, 0, 0, 'a', 'b', 0, 0}));
  EXPECT_EQ(h.back(), 0);
  EXPECT_EQ(LongChannelOf(0), 2);
  EXPECT_EQ(ShortChannelOf(9), 21);

  DeviceTree tree;
  Tree_ResetRoot(tree);
  DeviceNode& dev = test::AddSerial(tree, tree.root(), kCommSensor);
  uint8_t buf[64];
  ByteWriter b{Bytes(buf)};
  int count = 1;
  ASSERT_TRUE(AppendUnsentLeaves(tree.root(), count, b, ShortChannelOf(0)));
  EXPECT_EQ(count, 0);
  EXPECT_EQ(dev.sentMask(), 1u << 3);
  // Short form of a sensor: id BE16 then its current mask byte.
  EXPECT_EQ(b.size(), 3u);
  ClearSentBits(tree.root(), ShortChannelOf(0) + 1);
  EXPECT_EQ(dev.sentMask(), 0u);
}

TEST(LinkTransferNames, SafeWireNames) {
  struct Case {
    const char* name;
    int parts;
    std::optional<std::string> want;
  } cases[] = {
      {"a.png", 1, "a.png"},     {"Map\\Event.log", 2, "Map/Event.log"},
      {"Map\\Event.log", 1, {}}, {"..", 1, {}},
      {"a/../b", 2, {}},         {"/abs", 2, {}},
      {"\\abs", 2, {}},          {"C:\\x", 2, {}},
      {"a//b", 2, {}},           {"a\\", 2, {}},
      {"tab\tname", 1, {}},      {"", 1, {}},
  };
  for (const Case& c : cases) EXPECT_EQ(SafeWireName(c.name, c.parts), c.want) << c.name;
  EXPECT_FALSE(SafeWireName(std::string(256, 'a'), 1));
  EXPECT_EQ(WithAsciiLength("S004VSN10"), "S005VSN10");
  EXPECT_EQ(WithAsciiLength("P003AEL"), "P003AEL");
}

}  // namespace
}  // namespace lark
