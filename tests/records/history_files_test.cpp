// The history files at the byte level: record images, the torn-line and
// cut-record repairs, the present snapshot, and appends killed at random.
#include "records/history_files.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "core/device_tree.h"
#include "platform/paths.h"
#include "records/history_accumulators.h"
#include "records/history_recorder.h"
#include "tests/support/recording_event_log.h"
#include "tests/support/temp_dir.h"
#include "tests/support/tree_fixtures.h"

namespace lark {
namespace {

namespace fs = std::filesystem;
using Image = std::vector<uint8_t>;

std::string Read(const std::string& path) { return ReadFile(path).value_or("<missing>"); }

TEST(HistoryRecords, GoldenBytes) {
  AccRecord inverter{2024, 3, 2, {1, -1, 3, 4, 5, 6, 7, 8, 9, 10}};
  Image inv(kInverterAccRecordSize);
  EncodeAccRecord(inverter, HistoryAccumulator::kInverter, inv);
  EXPECT_EQ(inv, (Image{0xe8, 0x07, 0x03, 0x00, 0x02, 0x00, 0x00, 0x00, 1,  0, 0, 0,
                        0xff, 0xff, 0xff, 0xff, 3,    0,    0,    0,    4,  0, 0, 0,
                        5,    0,    0,    0,    6,    0,    0,    0,    7,  0, 0, 0,
                        8,    0,    0,    0,    9,    0,    0,    0,    10, 0, 0, 0}));
  EXPECT_EQ(DecodeAccRecord(inv, HistoryAccumulator::kInverter), inverter);

  AccRecord sensor{2024, 12, 31, {500}};
  Image sen(kSensorAccRecordSize);
  EncodeAccRecord(sensor, HistoryAccumulator::kSensor, sen);
  EXPECT_EQ(sen, (Image{0xe8, 0x07, 0x0c, 0x00, 0x1f, 0x00, 0x00, 0x00, 0xf4, 0x01, 0, 0,
                        0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0, 0}));
  EXPECT_EQ(DecodeAccRecord(sen, HistoryAccumulator::kSensor), sensor);
  EXPECT_EQ(AccTwinLine(sensor, HistoryAccumulator::kSensor), "2024/12/31,500,0,0,0");

  const auto present = EncodePresentSnapshot(WallTime{2024, 3, 3, 0, 14, 5, 9, 0}, -1, 1234);
  EXPECT_EQ(Image(present.begin(), present.end()),
            (Image{3, 14, 5, 9, 0xff, 0xff, 0xff, 0xff, 0xd2, 0x04, 0, 0}));
}

TEST(HistoryFiles, TornLastLineIsCutBeforeTheNextAppend) {
  struct Case {
    const char* name;
    std::string before, after;
  };
  const std::string torn = Read(test::SourcePath("tests/records/fixtures/torn_month.DAT"));
  const std::string whole = torn.substr(0, torn.rfind("\r\n") + 2);
  const Case cases[] = {
      {"fixture cut mid-line", torn, whole + "3\t14\t7\t0\r\n"},
      {"first line torn", "0", "0\r\n3\t14\t7\t0\r\n"},
      {"only a CR of the line end", "0\r\n3\t14\r", "0\r\n3\t14\t7\t0\r\n"},
      {"whole file", "0\r\n", "0\r\n3\t14\t7\t0\r\n"},
      {"empty", "", "0\r\n3\t14\t7\t0\r\n"},
  };
  test::TempDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir.file("3.DAT");
    ASSERT_TRUE(WriteFileAtomic(path, c.before));
    ASSERT_TRUE(AppendHistoryLine(path, "3\t14\t7\t0", "0"));
    EXPECT_EQ(Read(path), c.after);
  }
}

// Month files kept open between lines: what someone else does to a kept file
// meanwhile (removes it, cuts its last line, adds a line) never loses or tears
// a line; a file past the bound is written all the same.
TEST(HistoryFiles, KeptFilesFollowWhatHappensToThem) {
  struct Case {
    const char* name;
    std::function<void(const std::string& path)> meanwhile;
    std::string after;
  };
  const Case cases[] = {
      {"left alone", [](const std::string&) {}, "0\r\na\r\nb\r\n"},
      {"removed", [](const std::string& p) { unlink(p.c_str()); }, "0\r\nb\r\n"},
      {"replaced with a torn last line",
       [](const std::string& p) { ASSERT_TRUE(WriteFileAtomic(p, "0\r\na\r\nha")); },
       "0\r\na\r\nb\r\n"},
      {"cut in place", [](const std::string& p) { ASSERT_EQ(truncate(p.c_str(), 4), 0); },
       "0\r\nb\r\n"},
      {"a line added in place",
       [](const std::string& p) { std::ofstream(p, std::ios::binary | std::ios::app) << "x\r\n"; },
       "0\r\na\r\nx\r\nb\r\n"},
  };
  test::TempDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    OpenHistoryFiles files(1);
    const std::string path = dir.file(std::string("Plant/1/2024/") + c.name + ".DAT");
    ASSERT_TRUE(files.append(path, "a", "0"));
    EXPECT_EQ(files.openCount(), 1u);
    c.meanwhile(path);
    ASSERT_TRUE(files.append(path, "b", "0"));
    EXPECT_EQ(Read(path), c.after);
    // Past the bound: opened, written and closed.
    ASSERT_TRUE(files.append(dir.file("Plant/2/2024/3.DAT"), "c", "0"));
    EXPECT_EQ(files.openCount(), 1u);
    unlink(dir.file("Plant/2/2024/3.DAT").c_str());
  }
}

// Month and accumulator names planted as links to files of someone else (in
// a history folder others can write): no line is added to the target and
// its last line is not cut; a FIFO does not hold the writer.
TEST(HistoryFiles, PlantedNamesAreNotFollowed) {
  test::TempDir dir;
  const std::string victim = "first line\r\nno line end";
  ASSERT_TRUE(WriteFileAtomic(dir.file("victim"), victim));
  ASSERT_TRUE(MakeDirs(dir.file("Plant/1/2024")));
  ASSERT_EQ(symlink(dir.file("victim").c_str(), dir.file("Plant/1/2024/3.DAT").c_str()), 0);
  ASSERT_EQ(mkfifo(dir.file("Plant/1/2024/4.DAT").c_str(), 0666), 0);
  ASSERT_EQ(symlink(dir.file("victim").c_str(), dir.file("Plant/AccInverter_1.DAT").c_str()), 0);
  EXPECT_FALSE(AppendHistoryLine(dir.file("Plant/1/2024/3.DAT"), "3\t14\t7\t0", "0"));
  EXPECT_FALSE(AppendHistoryLine(dir.file("Plant/1/2024/4.DAT"), "3\t14\t7\t0", "0"));
  EXPECT_LT(OpenCreatingFolders(dir.file("Plant/AccInverter_1.DAT")), 0);
  EXPECT_EQ(Read(dir.file("victim")), victim);
}

TEST(HistoryFiles, FolderBlockedByAFileSkipsTheLine) {
  test::TempDir dir;
  ASSERT_TRUE(WriteFileAtomic(dir.file("Plant"), "not a folder"));
  EXPECT_FALSE(AppendHistoryLine(dir.file("Plant/1/2024/3.DAT"), "line", "0"));
  EXPECT_EQ(Read(dir.file("Plant")), "not a folder");
}

// Whatever the inverter's file holds, it is cut back to whole records before
// the update; whole records before the cut stay as they were.
TEST(HistoryFiles, BadAccumulatorFilesAreCutBackToWholeRecords) {
  auto record = [](const AccRecord& r) {
    Image b(kInverterAccRecordSize);
    EncodeAccRecord(r, HistoryAccumulator::kInverter, b);
    return std::string(b.begin(), b.end());
  };
  const std::string yesterday = record(AccRecord{2024, 3, 2, {7}});
  const std::string filled = record(AccRecord{2024, 3, 3, {2, 2, 2, 2, 2, 2, 2, 2, 2, 2}});
  const std::string zero = record(AccRecord{2024, 3, 3, {}});
  struct Case {
    const char* name;
    std::string before, after, twin;
  };
  const Case cases[] = {
      {"empty", "", filled, ""},
      {"shorter than a record", std::string(20, '\x55'), filled, ""},
      {"a record and a cut one", yesterday + std::string(20, '\x55'), yesterday + zero,
       "2024/03/02,7,0,0,0,0,0,0,0,0,0\r\n"},
      {"a date that is no date", record(AccRecord{65535, 99, 0, {-5}}),
       record(AccRecord{65535, 99, 0, {-5}}) + zero, "65535/99/00,-5,0,0,0,0,0,0,0,0,0\r\n"},
  };
  std::array<int32_t, kInverterAccValues> live;
  live.fill(2);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::TempDir dir;
    const AccPaths p = AccumulatorPaths(dir.path(), "Plant", 4, HistoryAccumulator::kInverter);
    ASSERT_TRUE(MakeDirs(dir.file("Plant")));
    ASSERT_TRUE(WriteFileAtomic(p.file, c.before));
    UpdateInverterAccumulator(p, WallTime{2024, 3, 3}, live, true);
    EXPECT_EQ(Read(p.file), c.after);
    EXPECT_EQ(ReadFile(p.twin).value_or(""), c.twin);
  }
}

TEST(HistoryFiles, PresentSnapshotAlternatesBetweenDeleteAndWrite) {
  test::TempDir dir;
  const WallTime now{2024, 3, 3, 0, 0, 0, 1, 0};
  ResetPresentSnapshot(dir.path(), now, 5, 6);
  const auto record = EncodePresentSnapshot(now, 5, 6);
  EXPECT_EQ(Read(dir.file("present.dat")), std::string(record.begin(), record.end()));
  ResetPresentSnapshot(dir.path(), now, 5, 6);
  EXPECT_FALSE(FileExists(dir.file("present.dat")));
}

// ---- crash ----

struct Devices {
  DeviceTree tree;
  DeviceNode* ups;
  DeviceNode* inverter;
  DeviceNode* sensor;
  Devices() {
    ups = &test::AddSerial(tree, tree.root(), kCommAscii);
    inverter = &test::AddSerial(tree, tree.root(), kCommInverter);
    sensor = &test::AddSerial(tree, tree.root(), kCommSensor);
    for (int s = 0; s < 178; ++s) ups->block(BlockKind::kAscii)->setSlot(s, 1000 + s);
    for (int s = 0; s < 30; ++s) inverter->block(BlockKind::kModbus)->setSlot(s, 100 + s);
    sensor->block(BlockKind::kSensor)->setSlot(6, 42);
  }
};

// Every line ends in CR LF and holds exactly one sample of `fields` fields;
// a month file starts with its node kind line.
void CheckWholeLines(const std::string& path, size_t fields, char sep, bool kindLine = true) {
  const std::string text = Read(path);
  ASSERT_GE(text.size(), 2u) << path;
  ASSERT_EQ(text.substr(text.size() - 2), "\r\n") << path;
  for (size_t at = 0; at < text.size();) {
    const size_t end = text.find("\r\n", at);
    ASSERT_NE(end, std::string::npos);
    const std::string line = text.substr(at, end - at);
    if (at == 0 && kindLine) {
      EXPECT_EQ(line, "0") << path;
    } else {
      EXPECT_EQ(line.find('\r'), std::string::npos) << path;
      EXPECT_EQ(static_cast<size_t>(std::count(line.begin(), line.end(), sep)) + 1, fields)
          << path << ": " << line;
    }
    at = end + 2;
  }
}

TEST(HistoryCrash, SamplesKilledAtRandomLeaveWholeLinesAndRecords) {
  test::TempDir dir;
  test::RecordingEventLog log;
  HistoryDatabase db;
  FakeClock clock;
  const HistorySettings settings{60, 12, dir.path(), "Plant", false};
  std::mt19937 random(20240303);
  for (int round = 1; round <= 20; ++round) {
    const WallTime start{2024, 1, round, 0, 0, 0, 0, 0};
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      Devices d;
      HistoryRecorder r(d.tree, clock, log, db);
      r.publish(settings);
      for (int minute = 0;; ++minute)
        r.RecordHistoryTree(NormalizeWallTime(WallTime{2024, 1, round, 0, 0, minute % 1440, 0, 0}));
    }
    usleep(1000 + random() % 30000);
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));

    Devices d;
    HistoryRecorder r(d.tree, clock, log, db);
    r.publish(settings);
    WallTime late = start;
    late.hour = 23, late.minute = 59, late.second = 59;
    r.RecordHistoryTree(late);
    const std::string plant = dir.file("Plant");
    CheckWholeLines(plant + "/" + std::to_string(d.ups->id()) + "/2024/1.DAT", 58, '\t');
    CheckWholeLines(plant + "/" + std::to_string(d.inverter->id()) + "/2024/1.DAT.txt", 21, ',');
    CheckWholeLines(plant + "/" + std::to_string(d.sensor->id()) + "/2024/1.DAT.txt", 11, ',');
    for (auto [name, size] : {std::pair{"AccInverter_2.DAT", kInverterAccRecordSize},
                              std::pair{"AccSensor_3.DAT", kSensorAccRecordSize}}) {
      EXPECT_EQ(fs::file_size(plant + "/" + name) % size, 0u) << name;
    }
    if (round > 1) {
      CheckWholeLines(plant + "/AccInverter_2.DAT.txt", 11, ',', false);
      CheckWholeLines(plant + "/AccSensor_3.DAT.txt", 5, ',', false);
    }
  }
}

}  // namespace
}  // namespace lark
