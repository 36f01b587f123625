// The history recorder on a fake clock: month files of every family, the
// lost-link marker, the database switch, day and month changes, the storage
// window, the day totals and the exception guard.
#include "records/history_recorder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "core/device_tree.h"
#include "core/history_family.h"
#include "platform/paths.h"
#include "records/history_accumulators.h"
#include "tests/support/recording_event_log.h"
#include "tests/support/temp_dir.h"
#include "tests/support/tree_fixtures.h"

namespace lark {
namespace {

namespace fs = std::filesystem;

// A database that is in use; records what it is given and can throw.
class FakeDatabase final : public HistoryDatabase {
 public:
  bool connected() const override { return up; }
  void dropLink() override { up = false; }
  bool takeToken(int) override {
    if (held) return false;
    held = true;
    return true;
  }
  void releaseToken() override { held = false; }
  bool insertSample(const HistorySample& s, bool lost) override {
    if (throwOnInsert) throw std::runtime_error("insert");
    inserts.push_back({s.id, lost});
    return storeRows;
  }
  void updateAccumulator(const HistorySample& s, bool inverter, const WallTime&) override {
    accRows.push_back({s.id, inverter});
  }
  void exportLogs() override { ++exports; }

  bool up = true, held = false, throwOnInsert = false, storeRows = true;
  std::vector<std::pair<int, bool>> inserts, accRows;
  int exports = 0;
};

constexpr WallTime At(int year, int month, int day, int hour, int minute, int second = 0) {
  return WallTime{year, month, day, 0, hour, minute, second, 0};
}

std::string Read(const std::string& path) { return ReadFile(path).value_or("<missing>"); }

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  for (size_t at = 0; at < text.size();) {
    size_t end = text.find("\r\n", at);
    if (end == std::string::npos) {
      lines.push_back(text.substr(at) + "<torn>");
      break;
    }
    lines.push_back(text.substr(at, end - at));
    at = end + 2;
  }
  return lines;
}

size_t Fields(const std::string& line, char sep) {
  return static_cast<size_t>(std::count(line.begin(), line.end(), sep)) + 1;
}

class HistoryRecorderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    clock.setWall(At(2024, 3, 3, 14, 5));
    recorder.faultRestMs = 0;
    publish();
  }
  void publish(int storage = 12, bool database = false) {
    recorder.publish(HistorySettings{60, storage, dir.path(), "Plant", database});
  }
  std::string monthFile(int id, int year, int month, bool text = false) {
    return dir.file("Plant/" + std::to_string(id) + "/" + std::to_string(year) + "/" +
                    std::to_string(month) + (text ? ".DAT.txt" : ".DAT"));
  }
  void recordAt(const WallTime& t) {
    clock.setWall(t);
    recorder.RecordHistoryTree(t);
  }

  test::TempDir dir;
  DeviceTree tree;
  FakeClock clock;
  test::RecordingEventLog log;
  FakeDatabase db;
  HistoryRecorder recorder{tree, clock, log, db};
};

TEST_F(HistoryRecorderTest, AsciiMonthFileMatchesTheGoldenFile) {
  DeviceNode& ups = test::AddSerial(tree, tree.root(), kCommAscii);
  LiveDataBlock& b = *ups.block(BlockKind::kAscii);
  // Mapped slots in and out of the x10 list, one past 32 bits once scaled,
  // a -1 in an x10 slot and an unmapped slot.
  for (auto [slot, v] : std::vector<std::pair<int, int32_t>>{
           {42, 2300}, {45, 12}, {58, 7}, {30, 5}, {34, 300000000}, {60, 0}, {62, 0}, {0, 99}}) {
    b.setSlot(slot, v);
  }
  recordAt(At(2024, 3, 3, 14, 5));
  b.setMask(MaskWord::kReported, uint64_t{1} << 24);
  for (int minute = 6; minute <= 9; ++minute) recordAt(At(2024, 3, 3, 14, minute));
  b.setMask(MaskWord::kReported, 0);
  b.setSlot(42, 2301);
  recordAt(At(2024, 3, 3, 14, 10));
  EXPECT_EQ(Read(monthFile(ups.id(), 2024, 3)),
            Read(test::SourcePath("tests/records/fixtures/ascii_month.DAT")));
}

TEST_F(HistoryRecorderTest, SensorLineStartsWithTheTimeAndHoldsSevenValues) {
  DeviceNode& sensor = test::AddSerial(tree, tree.root(), kCommSensor);
  sensor.setId(12);
  for (int i = 0; i < 7; ++i) sensor.block(BlockKind::kSensor)->setSlot(i, 10 + i);
  recordAt(At(2024, 3, 3, 14, 5, 0));
  EXPECT_EQ(Read(dir.file("Plant/12/2024/3.DAT.txt")), "0\r\n3,14,5,0,10,11,12,13,14,15,16\r\n");
}

// Every family: its file name, separator and value count; and the families
// that write nothing.
TEST_F(HistoryRecorderTest, EachFamilyWritesItsOwnLineShape) {
  struct Case {
    uint8_t kind;
    int16_t comm;
    uint8_t mib;
    const char* name;  // "" = no file
    char sep;
    size_t values;
  };
  const Case cases[] = {
      {kNodeSerial, kCommAscii, 0, "3.DAT", '\t', 54},
      {kNodeSerial, kCommThreePhase, 0, "3.DAT", '\t', 54},
      {kNodeSerial, kCommModbusUps, 0, "3.DAT", '\t', 54},
      {kNodeSerial, kCommModbusTrv5200, 0, "3.DAT", '\t', 56},
      {kNodeSerial, kCommModbus9315, 0, "3.DAT", '\t', 34},
      {kNodeSerial, kCommInverter, 0, "3.DAT.txt", ',', 17},
      {kNodeSerial, kCommSensor, 0, "3.DAT.txt", ',', 7},
      {kNodeSerial, kCommMeter, 0, "3.DAT.txt", ',', 10},
      {kNodeSerial, kCommMeterSum, 0, "3.DAT.txt", ',', 4},
      {kNodeSnmp, 0, kMibInverter, "3.DAT.txt", ',', 17},
      {kNodeSnmp, 0, kMibSensor, "3.DAT.txt", ',', 7},
      {kNodeSnmp, 0, kMibMakerUps, "3.DAT", '\t', 48},
      {kNodeSnmp, 0, kMibRfc1628, "3.DAT", '\t', 48},
      {kNodeGprs, 0, 0, "3.DAT", '\t', 54},
      {kNodeSerial, kCommPlc, 0, "", 0, 0},
  };
  int index = 0;
  for (const Case& c : cases) {
    // Every tree numbers its first device 1: a map of its own per case.
    const std::string map = "Family" + std::to_string(index++);
    SCOPED_TRACE(testing::Message()
                 << "kind " << int{c.kind} << " comm " << c.comm << " mib " << int{c.mib});
    DeviceTree t;
    DeviceNode& n = c.kind == kNodeSnmp   ? test::AddSnmp(t, t.root(), "10.0.0.1", c.mib)
                    : c.kind == kNodeGprs ? test::AddGprs(t, t.root())
                                          : test::AddSerial(t, t.root(), c.comm);
    HistoryRecorder r(t, clock, log, db);
    r.publish(HistorySettings{60, 12, dir.path(), map, false});
    r.RecordHistoryTree(At(2024, 3, 3, 14, 5));
    const std::string folder = dir.file(map + "/" + std::to_string(n.id()) + "/2024");
    if (*c.name == 0) {
      EXPECT_FALSE(fs::exists(folder));
      continue;
    }
    const auto lines = Lines(Read(folder + "/" + c.name));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], std::to_string(c.kind));
    EXPECT_EQ(Fields(lines[1], c.sep), 4 + c.values) << lines[1];
  }
}

TEST_F(HistoryRecorderTest, SnmpUpsLineEndsInNineEmptyColumns) {
  DeviceNode& ups = test::AddSnmp(tree, tree.root());
  for (int slot = 0; slot < 88; ++slot) ups.block(BlockKind::kSnmp)->setSlot(slot, 1);
  recordAt(At(2024, 3, 3, 14, 5));
  const auto lines = Lines(Read(monthFile(ups.id(), 2024, 3)));
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[1].substr(lines[1].size() - 27),
            std::string("\t-1\t-1\t-1\t-1\t-1\t-1\t-1\t-1\t-1"));
  EXPECT_EQ(Fields(lines[1], '\t'), 4u + 48u);
}

TEST_F(HistoryRecorderTest, StorageZeroRecordsNothing) {
  test::BuildSampleTree(tree);
  publish(0);
  recordAt(At(2024, 3, 3, 14, 5));
  EXPECT_FALSE(fs::exists(dir.file("Plant")));
}

TEST_F(HistoryRecorderTest, DatabaseInUseKeepsMonthFilesOnlyForInvertersSensorsAndMeters) {
  DeviceNode& ups = test::AddSerial(tree, tree.root(), kCommModbusUps);
  DeviceNode& inverter = test::AddSerial(tree, tree.root(), kCommInverter);
  DeviceNode& quiet = test::AddSerial(tree, tree.root(), kCommSensor);
  quiet.setSaveInDatabase(false);
  publish(12, true);
  recordAt(At(2024, 3, 3, 14, 5));
  EXPECT_FALSE(fs::exists(monthFile(ups.id(), 2024, 3)));
  EXPECT_TRUE(fs::exists(monthFile(inverter.id(), 2024, 3, true)));
  EXPECT_TRUE(fs::exists(monthFile(quiet.id(), 2024, 3, true)));
  EXPECT_EQ(db.inserts,
            (std::vector<std::pair<int, bool>>{{ups.id(), false}, {inverter.id(), false}}));
  EXPECT_FALSE(db.held);

  // A database that is enabled but not connected is not in use.
  db.up = false;
  recordAt(At(2024, 3, 3, 14, 6));
  EXPECT_TRUE(fs::exists(monthFile(ups.id(), 2024, 3)));
  // A row the database did not store goes to the month file.
  db.up = true;
  db.storeRows = false;
  recordAt(At(2024, 3, 3, 14, 7));
  EXPECT_EQ(Lines(Read(monthFile(ups.id(), 2024, 3))).size(), 3u);
}

TEST_F(HistoryRecorderTest, LostMeterMarksEveryPeriod) {
  DeviceNode& meter = test::AddSerial(tree, tree.root(), kCommMeter);
  meter.block(BlockKind::kMeter)->setMask(MaskWord::kReported, 1);
  for (int minute = 5; minute < 8; ++minute) recordAt(At(2024, 3, 3, 14, minute));
  const auto lines = Lines(Read(monthFile(meter.id(), 2024, 3, true)));
  ASSERT_EQ(lines.size(), 4u);
  for (size_t i = 1; i < lines.size(); ++i) EXPECT_EQ(lines[i].substr(9, 6), "10000,");
}

TEST_F(HistoryRecorderTest, GuardedInsertReleasesTheTokenAndTheFileStillComes) {
  DeviceNode& inverter = test::AddSerial(tree, tree.root(), kCommInverter);
  publish(12, true);
  db.throwOnInsert = true;
  recordAt(At(2024, 3, 3, 14, 5));
  EXPECT_FALSE(db.held);
  EXPECT_FALSE(db.up);  // the link is dropped, the tick connects again
  ASSERT_EQ(log.events().size(), 1u);
  EXPECT_EQ(log.events()[0].text, "Exception: e06d7363, ODBC_InsertHistValueTable()");
  EXPECT_EQ(log.events()[0].level, 2u);
  EXPECT_EQ(log.events()[0].code, 1000);
  EXPECT_TRUE(fs::exists(monthFile(inverter.id(), 2024, 3, true)));
}

TEST_F(HistoryRecorderTest, SamplesEitherSideOfMidnightLandInTheirMonths) {
  DeviceNode& ups = test::AddSerial(tree, tree.root(), kCommAscii);
  recordAt(At(2024, 3, 31, 23, 59, 30));
  recordAt(At(2024, 4, 1, 0, 0, 30));
  EXPECT_EQ(Lines(Read(monthFile(ups.id(), 2024, 3)))[0], "0");
  EXPECT_EQ(Lines(Read(monthFile(ups.id(), 2024, 3)))[1].substr(0, 9), "31\t23\t59\t");
  EXPECT_EQ(Lines(Read(monthFile(ups.id(), 2024, 4)))[0], "0");
  EXPECT_EQ(Lines(Read(monthFile(ups.id(), 2024, 4)))[1].substr(0, 6), "1\t0\t0\t");
}

TEST_F(HistoryRecorderTest, PurgeKeepsTheStorageWindow) {
  struct Case {
    int storage;
    WallTime now;
    std::vector<std::pair<int, int>> gone;  // (year, month)
  };
  std::vector<std::pair<int, int>> y2023;
  for (int m = 1; m <= 12; ++m) y2023.push_back({2023, m});
  std::vector<std::pair<int, int>> storage3 = y2023;
  storage3.insert(storage3.end(), {{2024, 1}, {2024, 2}});
  const Case cases[] = {
      {3, At(2024, 5, 1, 0, 0), storage3},
      {12, At(2024, 5, 20, 0, 0), {{2023, 1}, {2023, 2}, {2023, 3}, {2023, 4}, {2023, 5}}},
      {0, At(2024, 5, 1, 0, 0), {}},
  };
  DeviceNode& ups = test::AddSerial(tree, tree.root(), kCommAscii);
  DeviceNode& sensor = test::AddSerial(tree, tree.root(), kCommSensor);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.storage);
    fs::remove_all(dir.file("Plant"));
    for (DeviceNode* n : {&ups, &sensor}) {
      for (int year : {2022, 2023, 2024}) {
        for (int month = 1; month <= (year == 2024 ? 5 : 12); ++month) {
          const std::string f = monthFile(n->id(), year, month, n == &sensor);
          ASSERT_TRUE(MakeDirs(fs::path(f).parent_path().string()));
          ASSERT_TRUE(WriteFileAtomic(f, "0\r\n"));
        }
      }
    }
    publish(c.storage);
    recorder.PurgeOldHistory(c.now);
    for (DeviceNode* n : {&ups, &sensor}) {
      for (int year : {2022, 2023, 2024}) {
        EXPECT_TRUE(fs::is_directory(
            dir.file("Plant/" + std::to_string(n->id()) + "/" + std::to_string(year))));
        for (int month = 1; month <= (year == 2024 ? 5 : 12); ++month) {
          const bool gone =
              std::find(c.gone.begin(), c.gone.end(), std::make_pair(year, month)) != c.gone.end();
          EXPECT_EQ(fs::exists(monthFile(n->id(), year, month, n == &sensor)), !gone)
              << year << "/" << month;
        }
      }
    }
  }
}

// The thread's pass: the sample comes once a period has gone by, the month
// flag runs the backup and the purge once, the day's values reset at midnight.
TEST_F(HistoryRecorderTest, StepSamplesEachPeriodAndHandlesTheMonthFlag) {
  DeviceNode& ups = test::AddSerial(tree, tree.root(), kCommAscii);
  DeviceNode& inverter = test::AddSerial(tree, tree.root(), kCommInverter);
  publish(12, true);
  clock.setWall(At(2024, 5, 31, 23, 58));
  auto passSeconds = [&](int seconds) {
    for (int i = 0; i < seconds * 2; ++i) {
      clock.advance(500);
      ASSERT_TRUE(recorder.step());
    }
  };
  passSeconds(59);
  EXPECT_FALSE(fs::exists(monthFile(inverter.id(), 2024, 5, true)));
  passSeconds(2);
  EXPECT_EQ(Lines(Read(monthFile(inverter.id(), 2024, 5, true))).size(), 2u);

  for (int slot : {17, 18, 22}) inverter.block(BlockKind::kModbus)->setSlot(slot, 40);
  // Midnight: the thread resets the day maxima itself.
  passSeconds(60);
  for (int slot : {17, 18, 22}) EXPECT_EQ(inverter.block(BlockKind::kModbus)->slot(slot), -1);

  // A month file of last year's May goes at the month change; one backup.
  const std::string old = monthFile(ups.id(), 2023, 5);
  ASSERT_TRUE(MakeDirs(fs::path(old).parent_path().string()));
  ASSERT_TRUE(WriteFileAtomic(old, "0\r\n"));
  recorder.monthChanged.store(true);
  passSeconds(1);
  EXPECT_FALSE(fs::exists(old));
  EXPECT_EQ(db.exports, 1);
  EXPECT_FALSE(db.held);
  passSeconds(1);
  EXPECT_EQ(db.exports, 1);

  // No sample while a report pauses the recording.
  recorder.recordingPaused.store(1);
  const std::string june = Read(monthFile(inverter.id(), 2024, 6, true));
  passSeconds(120);
  EXPECT_EQ(Read(monthFile(inverter.id(), 2024, 6, true)), june);
}

TEST_F(HistoryRecorderTest, ThreadAnswersPauseAndEndsAtOnceOnStop) {
  recorder.start();
  EXPECT_TRUE(
      recorder.control.requestAndWait(WorkerControl::kPause, WorkerControl::kPaused, 50, 100));
  recorder.control.resume();
  recorder.stop();
  EXPECT_FALSE(recorder.running());
  EXPECT_EQ(recorder.control.word.load(), WorkerControl::kStopped);
}

// Walks beside console edits that delete and create devices, and a poller
// writing values: the walk keeps no node across the lock.
TEST_F(HistoryRecorderTest, WalksBesideTreeEditsAndPollers) {
  test::AddSerial(tree, tree.root(), kCommInverter);
  std::atomic<bool> done{false};
  std::thread walker([&] {
    for (int minute = 0; !done.load(); ++minute) {
      recorder.RecordHistoryTree(NormalizeWallTime(At(2024, 3, 3, 0, minute)));
    }
  });
  for (int i = 0; i < 200; ++i) {
    DeviceNode* sensor;
    {
      DeviceTree::StructuralEdit edit(tree);
      tree.setCurrentParent(tree.root());
      sensor = &test::AddSerial(tree, tree.root(), kCommSensor);
    }
    sensor->block(BlockKind::kSensor)->setSlot(6, i);
    DeviceTree::StructuralEdit edit(tree);
    tree.setCurrentParent(tree.root());
    Tree_DeleteChild(tree, 1);
  }
  done.store(true);
  walker.join();
  EXPECT_EQ(tree.root().childCount(), 1);
}

// ---- day totals ----

TEST_F(HistoryRecorderTest, FirstSampleAfterMidnightClosesTheInverterDay) {
  DeviceNode& inverter = test::AddSerial(tree, tree.root(), kCommInverter);
  LiveDataBlock& b = *inverter.block(BlockKind::kModbus);
  for (size_t i = 0; i < kInverterAccSlots.size(); ++i)
    b.setSlot(kInverterAccSlots[i], int32_t(i) + 1);
  recordAt(At(2024, 3, 2, 23, 59));
  b.setSlot(17, -1);  // a missing value keeps the record's
  b.setSlot(19, 50);
  recordAt(At(2024, 3, 2, 23, 59, 30));
  recordAt(At(2024, 3, 3, 0, 0, 30));
  const AccPaths p =
      AccumulatorPaths(dir.path(), "Plant", inverter.id(), HistoryAccumulator::kInverter);
  EXPECT_EQ(Read(p.twin), "2024/03/02,1,50,3,4,5,6,7,8,9,10\r\n");
  const std::string bin = Read(p.file);
  ASSERT_EQ(bin.size(), 2 * kInverterAccRecordSize);
  AccRecord today =
      DecodeAccRecord(asBytes(bin).subspan(kInverterAccRecordSize), HistoryAccumulator::kInverter);
  EXPECT_EQ(today, (AccRecord{2024, 3, 3, {}}));
}

TEST_F(HistoryRecorderTest, SensorDayTotalSurvivesARestartAndTwinIsRebuilt) {
  DeviceNode& sensor = test::AddSerial(tree, tree.root(), kCommSensor);
  LiveDataBlock& b = *sensor.block(BlockKind::kSensor);
  const AccPaths p =
      AccumulatorPaths(dir.path(), "Plant", sensor.id(), HistoryAccumulator::kSensor);
  // The first sample of a day opens its record, the next one fills it.
  int day = 1;
  for (int32_t total : {11, 22, 33}) {
    b.setSlot(6, total);
    recordAt(At(2024, 3, day, 12, 0));
    recordAt(At(2024, 3, day++, 12, 1));
  }
  // Day lines carry the record's own date.
  EXPECT_EQ(Read(p.twin), "2024/03/01,11,0,0,0\r\n2024/03/02,22,0,0,0\r\n");
  b.setSlot(6, 40);
  recordAt(At(2024, 3, 3, 12, 2));
  // A restart: the live total starts again lower; the record's value wins.
  b.setSlot(6, 5);
  recordAt(At(2024, 3, 3, 12, 2));
  EXPECT_EQ(b.slot(6), 40);
  // The twin is rebuilt from the finished days only.
  fs::remove(p.twin);
  recordAt(At(2024, 3, 3, 12, 3));
  EXPECT_EQ(Read(p.twin), "2024/03/01,11,0,0,0\r\n2024/03/02,22,0,0,0\r\n");
  recordAt(At(2024, 3, 4, 0, 1));
  EXPECT_EQ(Lines(Read(p.twin)).back(), "2024/03/03,40,0,0,0");
}

TEST_F(HistoryRecorderTest, ThreadResetsSensorTotalAtMidnight) {
  DeviceNode& sensor = test::AddSerial(tree, tree.root(), kCommSensor);
  clock.setWall(At(2024, 3, 2, 23, 59, 59));
  HistoryRecorder r(tree, clock, log, db);
  r.publish(HistorySettings{3600, 12, dir.path(), "Plant", false});
  sensor.block(BlockKind::kSensor)->setSlot(6, 70);
  clock.advance(1000);
  ASSERT_TRUE(r.step());
  EXPECT_EQ(sensor.block(BlockKind::kSensor)->slot(6), 0);
}

}  // namespace
}  // namespace lark
