// The Event Log dialog on a link whose replies the test feeds: the download
// of Event.log without the database, the paged answer with it, failures
// shown as MSG1 with the dialog left open, and Save As.
#include "console/dialogs/logs/event_log_dialog.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QTimer>

#include "console/lists/report_list.h"
#include "tests/console/dialogs/dialog_fixture.h"
#include "tests/support/tree_fixtures.h"

namespace lark {
namespace {

struct Fixture : test::DialogFixture {
  Fixture() {
    RegisterEventLogDialog(env);
    setText("Dialog-EventLog", "MSG1", "failed");
    setText("Dialog-EventLog", "MSG2", "sent");
    setText("Dialog-EventLog", "MSG3", "done");
    setText("Dialog-EventLog", "MSG4", "not written");
    link.session().currentMapBase = "Demo";
    DeviceNode& group = test::AddGroup(ctx.tree, ctx.tree.root(), "Room");
    ups = test::AddSerial(ctx.tree, group, 0).id();
    Tree_FindNodeById(ctx.tree, ups)->setTitle("UPS 1");
  }
  // The pending request's payload as the service got it (operation records
  // queued before it are dropped), then `data` (code first) as its reply,
  // taken on the dialog's next tick.
  std::vector<uint8_t> answer(EventLogDialog& d, uint8_t command, std::vector<uint8_t> data) {
    while (auto head = link.queues().peek(3)) {
      if (head->requestId == link.pending().sequence) break;
      link.queues().dropHead(3);
    }
    const std::vector<uint8_t> request = link.queues().peek(3).value().data;
    reply(command, std::move(data));
    OnReplyTimer(d);
    return std::vector<uint8_t>(request.begin() + std::min<size_t>(6, request.size()),
                                request.end());
  }
  int32_t ups = 0;
};

std::string Caption(const QWidget& d) { return d.windowTitle().toStdString(); }

std::vector<uint8_t> Chunk(uint32_t offset, const std::string& piece) {
  std::vector<uint8_t> data(2 + kFileChunkHeaderSize, 0);
  data[0] = 21;
  data[1] = 5;
  PutChunkHeader(data, 2,
                 FileChunkHeader{offset, static_cast<uint32_t>(piece.size()), "Demo\\Event.log"});
  data.insert(data.end(), piece.begin(), piece.end());
  return data;
}

std::vector<uint8_t> Page(uint8_t code, uint8_t sub, const ResultPage& page,
                          const std::string& text, size_t carried = SIZE_MAX) {
  std::vector<uint8_t> data(2 + kResultPageSize, 0);
  data[0] = code;
  data[1] = sub;
  PutResultPage(data, 2, page);
  const size_t n = std::min<size_t>(carried, page.count);
  data.insert(data.end(), text.begin() + page.offset, text.begin() + page.offset + n);
  return data;
}

std::vector<std::string> Titles(const EventLogDialog& d) {
  std::vector<std::string> out;
  for (const EventLogRow& r : d.rows()) out.push_back(r.cells[0] + "|" + r.cells[4]);
  return out;
}

TEST(EventLogDialog, WithoutTheDatabaseTheLogIsDownloadedAndFiltered) {
  Fixture f;
  const std::string day = "1970/01/01";  // the fake clock's day
  const std::string log = "0\t" + day + "\t00:00:01\tInformation\t1000\tService started\r\n" +
                          std::to_string(f.ups) + "\t" + day +
                          "\t00:00:02\tSerious\t4\tUtility failure\r\n";
  EventLogDialog d(f.env, f.ups, nullptr);
  d.Init();  // queries at once for the device chosen
  EXPECT_EQ(Caption(d), "Event Log - sent");
  const std::vector<uint8_t> asked = f.answer(d, kLinkCmdEventLog, Chunk(0, log));
  ASSERT_EQ(asked.size(), kFileChunkHeaderSize);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(asked.data() + 8)), "Demo\\Event.log");
  EXPECT_EQ(Caption(d), "Event Log - done");
  EXPECT_EQ(Titles(d), (std::vector<std::string>{"UPS 1|Utility failure"}));

  // "All" shows the service's own line too, from the same download path.
  auto* source = dynamic_cast<QComboBox*>(d.Control(1180));
  source->setCurrentIndex(source->findData(-1));
  d.Query();
  f.answer(d, kLinkCmdEventLog, Chunk(0, std::string(32768, '\n')));  // a whole piece: one more
  const std::vector<uint8_t> next = f.answer(d, kLinkCmdEventLog, Chunk(32768, log));
  EXPECT_EQ(u32At(next, 0), 32768u);
  EXPECT_EQ(Titles(d),
            (std::vector<std::string>{"System|Service started", "UPS 1|Utility failure"}));
  EXPECT_EQ(ReadFile(f.dir.file("Monitor/Event.log")).value().size(), 32768 + log.size());

  // Save As: the rows numbered from 1; a file that cannot be written says so.
  d.chooseExportFile = [&] { return f.dir.file("export.xls"); };
  d.SaveAs();
  const std::string out = ReadFile(f.dir.file("export.xls")).value();
  EXPECT_NE(out.find("Gridwarden Manager All Event Log\r\n"), std::string::npos);
  EXPECT_NE(
      out.find("\r\n1\tSystem\t1970/01/01\t00:00:01\tInformation\tService started\r\n2\tUPS 1\t"),
      std::string::npos);
  d.chooseExportFile = [&] { return f.dir.file("no/such/folder/export.xls"); };
  d.SaveAs();
  EXPECT_EQ(Caption(d), "Event Log - not written");
}

TEST(EventLogDialog, WithTheDatabaseTheAnswerComesInPages) {
  Fixture f;
  f.ctx.settings.accountsInUse = true;
  std::string rows;
  while (rows.size() < 4500)
    rows += std::to_string(f.ups) + "\t1970-01-01 00:00:02.5\t0\t4\tUtility failure\n";
  const uint32_t total = static_cast<uint32_t>(rows.size());
  EventLogDialog d(f.env, f.ups, nullptr);
  d.Init();
  const std::vector<uint8_t> clause =
      f.answer(d, kLinkCmdEventLog, Page(21, 4, {total, 0, 2000}, rows));
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(clause.data())),
            "where ups_id=" + std::to_string(f.ups) +
                " and occurdt between '1970-01-01 00:00:00' and '1970-01-01 23:59:59' order by "
                "occurdt asc");
  const std::vector<uint8_t> second =
      f.answer(d, kLinkCmdUserDatabase, Page(23, 12, {total, 2000, 2000}, rows));
  EXPECT_EQ(GetResultPage(second, 0), (ResultPage{total, 2000, 2000}));
  EXPECT_TRUE(d.rows().empty());
  f.answer(d, kLinkCmdUserDatabase, Page(23, 12, {total, 4000, total - 4000}, rows));
  EXPECT_EQ(Caption(d), "Event Log - done");
  EXPECT_EQ(d.rows().size(), static_cast<size_t>(std::count(rows.begin(), rows.end(), '\n')));
  EXPECT_EQ(d.rows().front().cells[2], "00:00:02");

  // Pages that do not fit: MSG1, the dialog stays open for another Query.
  const struct {
    const char* name;
    std::vector<uint8_t> second;
  } bad[] = {
      {"an empty page", Page(23, 12, {total, 2000, 0}, rows)},
      {"a count past the frame", Page(23, 12, {total, 2000, 2000}, rows, 1999)},
      {"a wrong offset", Page(23, 12, {total, 1000, 2000}, rows)},
      {"a refusal", {24, 12}},
  };
  for (const auto& b : bad) {
    SCOPED_TRACE(b.name);
    d.Query();
    f.answer(d, kLinkCmdEventLog, Page(21, 4, {total, 0, 2000}, rows));
    f.answer(d, kLinkCmdUserDatabase, b.second);
    EXPECT_EQ(Caption(d), "Event Log - failed");
    EXPECT_FALSE(d.waiting());
    EXPECT_TRUE(d.isEnabled());
  }
  // A result in the first reply asks no page; a total over 5 MB none either.
  d.Query();
  f.answer(d, kLinkCmdEventLog, Page(21, 4, {10, 0, 10}, rows));
  EXPECT_EQ(Caption(d), "Event Log - done");
  EXPECT_FALSE(d.waiting());
  d.Query();
  f.answer(d, kLinkCmdEventLog, Page(21, 4, {6u << 20, 0, 2000}, rows));
  EXPECT_EQ(Caption(d), "Event Log - failed");
  EXPECT_FALSE(d.waiting());
}

// Esc while a piece of Event.log waits: the dialog ends with 0 at once, its
// piece file goes and the last whole copy stays.
TEST(EventLogDialog, EscapeDuringTheDownloadLeavesNoPieceFile) {
  Fixture f;
  MakeDirs(f.dir.file("Monitor"));
  WriteFileAtomic(f.dir.file("Monitor/Event.log"), "last copy");
  EventLogDialog d(f.env, -1, nullptr);
  int ended = -1;
  QObject::connect(&d, &QDialog::finished, [&ended](int r) { ended = r; });
  d.Init();
  f.answer(d, kLinkCmdEventLog, Chunk(0, std::string(32768, '\n')));
  ASSERT_TRUE(FileExists(f.dir.file("Monitor/Event.log.part")));
  ASSERT_TRUE(d.waiting());
  static_cast<QDialog&>(d).reject();
  EXPECT_EQ(ended, 0);
  EXPECT_FALSE(d.waiting());
  EXPECT_FALSE(FileExists(f.dir.file("Monitor/Event.log.part")));
  EXPECT_EQ(ReadFile(f.dir.file("Monitor/Event.log")).value_or(""), "last copy");
}

// Selected Event Log through the registry: the map's selected device first,
// "All" for a group; All Event Log always "All".
TEST(EventLogDialog, OpenedWithTheMapSelection) {
  Fixture f;
  DeviceNode* selected = nullptr;
  f.ctx.points.mapSelectedNode = [&] { return selected; };
  const DeviceNode* group = Tree_FindNodeById(f.ctx.tree, f.ups)->parent();
  const struct {
    int mode;
    const DeviceNode* node;
    int chosen;
  } cases[] = {{1, Tree_FindNodeById(f.ctx.tree, f.ups), f.ups},
               {1, group, -1},
               {0, Tree_FindNodeById(f.ctx.tree, f.ups), -1}};
  for (const auto& c : cases) {
    selected = const_cast<DeviceNode*>(c.node);
    f.ctx.commands.eventLogMode = c.mode;
    int chosen = -100;
    QTimer::singleShot(0, [&] {
      auto* d = dynamic_cast<EventLogDialog*>(QApplication::activeModalWidget());
      ASSERT_NE(d, nullptr);
      chosen = dynamic_cast<QComboBox*>(d->Control(1180))->currentData().toInt();
      d->done(0);
    });
    EXPECT_EQ(f.ctx.dialogs.Open(kEventLogResource, nullptr), 0);
    EXPECT_EQ(chosen, c.chosen) << c.mode;
  }
}

TEST(EventLogDialog, OperationRecordAndChoices) {
  Fixture f;
  f.ctx.settings.accountsInUse = true;
  EventLogDialog d(f.env, -1, nullptr);
  d.Init();
  auto* source = dynamic_cast<QComboBox*>(d.Control(1180));
  ASSERT_EQ(source->count(), 3);  // operation record, all, the one device
  EXPECT_EQ(source->itemText(2).toStdString(), "UPS 1 (" + std::to_string(f.ups) + ")");
  EXPECT_EQ(source->currentText().toStdString(), "All");
  source->setCurrentIndex(0);
  d.Query();
  const std::string ops = "admin\t1970-01-01 00:00:03.000\t1\tLogin\n";
  const std::vector<uint8_t> clause = f.answer(
      d, kLinkCmdEventLog, Page(21, 2, {uint32_t(ops.size()), 0, uint32_t(ops.size())}, ops));
  EXPECT_EQ(f.link.pending().sub, 2);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(clause.data())).substr(0, 21),
            "where occurdt between");
  ASSERT_EQ(d.rows().size(), 1u);
  EXPECT_EQ(d.rows()[0].cells[3], "Modify");
  auto* list = dynamic_cast<ReportListView*>(d.Control(1129));
  EXPECT_EQ(list->listModel()->columnTitle(0), "Account");
  EXPECT_EQ(list->listModel()->row(0).image, 1);
}

}  // namespace
}  // namespace lark
