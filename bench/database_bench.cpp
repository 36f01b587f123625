// One history period of 1000 devices (every family) stored as rows in the
// default SQLite database through the database thread, as the recorder does
// (one job per period), against two plain ODBC loops running the same
// statements on one connection in the same run: each row on its own, and
// all in one transaction. Prints the median period of each and the ratios.
// --dir puts the databases elsewhere (a tmpfs such as /dev/shm).
//
//   database_bench [--devices N] [--periods P] [--dir D]
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <future>
#include <string>
#include <vector>

#include "common/odbc.h"
#include "core/device_node.h"
#include "core/history_family.h"
#include "core/live_data.h"
#include "records/database_history.h"
#include "records/database_thread.h"
#include "records/history_rows.h"

namespace {

using Steady = std::chrono::steady_clock;

struct Family {
  uint8_t kind;
  int16_t comm;
  uint8_t mib;
};
constexpr Family kFamilies[] = {
    {lark::kNodeSerial, lark::kCommAscii, 0},
    {lark::kNodeSerial, lark::kCommThreePhase, 0},
    {lark::kNodeSerial, lark::kCommModbusUps, 0},
    {lark::kNodeSnmp, 0, lark::kMibMakerUps},
    {lark::kNodeGprs, 0, 0},
    {lark::kNodeSerial, lark::kCommMeter, 0},
    {lark::kNodeSerial, lark::kCommInverter, 0},
    {lark::kNodeSerial, lark::kCommSensor, 0},
};

std::vector<lark::HistorySample> Samples(int devices) {
  std::vector<lark::HistorySample> out;
  for (int i = 0; i < devices; ++i) {
    const Family& f = kFamilies[static_cast<size_t>(i) % std::size(kFamilies)];
    lark::HistorySample s;
    s.id = static_cast<int16_t>(i + 1);
    s.nodeKind = f.kind;
    s.commType = f.comm;
    s.mibType = f.mib;
    s.saveInDatabase = true;
    s.layout = lark::HistoryLayoutOf(f.kind, f.comm, f.mib);
    s.slots.resize(lark::LayoutOf(s.layout.source).slotCount);
    for (size_t k = 0; k < s.slots.size(); ++k)
      s.slots[k] = static_cast<int32_t>((k * 7 + i) % 500);
    out.push_back(std::move(s));
  }
  return out;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

struct FixedClock final : lark::Clock {
  uint32_t tickMs() const override { return 0; }
  lark::WallTime now() const override { return lark::WallTime{2024, 2, 3, 6, 10, 0, 0, 0}; }
};

}  // namespace

int main(int argc, char** argv) {
  int devices = 1000, periods = 5;
  std::filesystem::path base = std::filesystem::temp_directory_path();
  for (int i = 1; i + 1 < argc; i += 2) {
    if (!strcmp(argv[i], "--devices")) devices = atoi(argv[i + 1]);
    if (!strcmp(argv[i], "--periods")) periods = atoi(argv[i + 1]);
    if (!strcmp(argv[i], "--dir")) base = argv[i + 1];
  }
  const auto dir = base / ("lark-dbbench-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  const std::vector<lark::HistorySample> samples = Samples(devices);
  FixedClock clock;

  // Ours: through the thread, one job per period.
  std::vector<double> ours;
  {
    lark::DatabaseThread thread([](lark::DatabaseNotice) {});
    thread.start();
    std::promise<bool> ok;
    thread.requestConnect({"", "", "", "obj_log", (dir / "ours.db").string()},
                          [&](bool r, const std::string&) { ok.set_value(r); });
    if (!ok.get_future().get()) {
      fprintf(stderr, "cannot open the SQLite database\n");
      return 1;
    }
    lark::DatabaseHistory history(thread, clock, {});
    auto rows = std::make_shared<std::vector<lark::HistoryPeriodRow>>();
    for (const auto& s : samples) rows->push_back({s, false});
    history.insertPeriod(rows);  // tables made
    for (int p = 0; p < periods; ++p) {
      const auto start = Steady::now();
      history.insertPeriod(rows);
      ours.push_back(std::chrono::duration<double>(Steady::now() - start).count());
    }
    thread.stop();
  }

  // The peers: the same statements in a plain loop on one connection, each
  // row its own transaction, then all of a period in one.
  std::vector<double> peer, peerOne;
  {
    lark::OdbcConnection db;
    std::string error;
    if (!db.connect("", "", "", (dir / "peer.db").string(), &error)) {
      fprintf(stderr, "%s\n", error.c_str());
      return 1;
    }
    lark::HistoryRows rows(db);
    const lark::WallTime now = clock.now();
    std::vector<std::string> statements;
    for (const auto& s : samples) {
      rows.insert(s, false, now);  // tables made
      std::string sql = "insert into " + lark::HistoryTableName(s.layout.family, s.id) +
                        " VALUES('2024-02-03 10:00:00'";
      for (int32_t v : lark::HistoryRowValues(s, false)) sql += "," + std::to_string(v);
      statements.push_back(sql + ")");
    }
    for (int p = 0; p < periods; ++p) {
      const auto start = Steady::now();
      for (const std::string& sql : statements) db.exec(sql);
      peer.push_back(std::chrono::duration<double>(Steady::now() - start).count());
    }
    for (int p = 0; p < periods; ++p) {
      const auto start = Steady::now();
      db.begin();
      for (const std::string& sql : statements) db.exec(sql);
      db.commit();
      peerOne.push_back(std::chrono::duration<double>(Steady::now() - start).count());
    }
  }
  std::filesystem::remove_all(dir);
  const double o = Median(ours), q = Median(peer), t = Median(peerOne);
  printf("devices %d, periods %d, in %s\n", devices, periods, base.c_str());
  printf("through the database thread:        %.3f s per period\n", o);
  printf("plain ODBC loop:                    %.3f s per period\n", q);
  printf("plain ODBC loop, one transaction:   %.3f s per period\n", t);
  printf("ratio to the plain loop: %.2f\n", o / q);
  printf("ratio to the one-transaction loop: %.2f\n", o / t);
  return 0;
}
