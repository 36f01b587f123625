// The UPS Log dialog on a link whose replies the test feeds: the three steps
// to the file and its opener, a stall of ten replies, a refusal and a file
// that cannot be written, each closing with 0 after the pause.
#include "console/dialogs/logs/ups_log_dialog.h"

#include <gtest/gtest.h>

#include "core/device_node.h"
#include "tests/console/dialogs/dialog_fixture.h"
#include "tests/support/tree_fixtures.h"

namespace lark {
namespace {

struct Fixture : test::DialogFixture {
  Fixture() {
    RegisterUpsLogDialog(env);
    setText("Dialog-UPS Event Log", "MSG1", "failed");
    setText("Dialog-UPS Event Log", "MSG2", "reading");
    setText("Dialog-UPS Event Log", "MSG3", "not written");
  }
  DeviceNode& ups(int16_t commType, const std::string& title) {
    DeviceNode& n = test::AddSerial(ctx.tree, ctx.tree.root(), commType, "COM2", 1);
    n.setTitle(title);
    return n;
  }
  // The pending request's step record, then the reply (form, progress, total
  // and `entries`) taken on the dialog's next tick.
  std::vector<uint8_t> answer(UpsLogDialog& d, uint8_t code, uint32_t form, int32_t progress,
                              uint32_t total, std::vector<uint8_t> entries = {}) {
    while (auto head = link.queues().peek(3)) {
      if (head->requestId == link.pending().sequence) break;
      link.queues().dropHead(3);
    }
    const std::vector<uint8_t> request = link.queues().peek(3).value().data;
    std::vector<uint8_t> data(2 + kUpsLogRecordSize, 0);
    data[0] = code;
    data[1] = link.pending().sub;
    putU32(data, 2 + 8, form);
    putI32(data, 2 + 12, progress);
    putU32(data, 2 + 16, total);
    data.insert(data.end(), entries.begin(), entries.end());
    reply(kLinkCmdEventLog, data);
    OnReplyTimer(d);
    return std::vector<uint8_t>(request.begin() + 6, request.end());
  }
};

std::string Caption(const QWidget& d) { return d.windowTitle().toStdString(); }

TEST(UpsLogDialog, ThreeStepsToTheOpenedFile) {
  Fixture f;
  DeviceNode& node = f.ups(1, "Three-phase UPS");
  std::vector<std::string> opened;
  UpsLogDialog d(f.env, node, nullptr);
  d.openFile = [&](const std::string& path) { opened.push_back(path); };
  d.Init();
  EXPECT_EQ(Caption(d), "UPS Log - reading");
  EXPECT_EQ(f.link.pending().sub, 6);
  const auto start = UpsLogRequest(0, node.id());
  EXPECT_EQ(f.answer(d, 21, 0, 0, 0), std::vector<uint8_t>(start.begin(), start.end()));
  EXPECT_EQ(u32At(f.answer(d, 21, 0, 12, 0), 0), 1u);
  f.answer(d, 21, 0, 24, 0);
  std::vector<uint8_t> entries(kUpsLogEntryBytes, 0);
  entries[1] = 1;     // index 1, high byte first
  entries[8] = 0x10;  // "Battery Replacement"
  EXPECT_EQ(u32At(f.answer(d, 21, 0, 24, 1, entries), 0), 2u);
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(opened[0], f.dir.file("Monitor/UPSEventLog_Three-phase UPS(" +
                                  std::to_string(node.id()) + ").txt"));
  const std::string text = ReadFile(opened[0]).value();
  EXPECT_EQ(text.substr(0, 42), "UPS Title=Three-phase UPS\r\nUPS Model=\r\nUPS");
  EXPECT_NE(text.find("UPS ID=1\r\n"), std::string::npos);
  EXPECT_NE(text.find("\r\n1\t2000/00/00\t00:00:00\t0x10\tBattery Replacement\r\n"),
            std::string::npos);
  EXPECT_EQ(d.result(), 1);
}

TEST(UpsLogDialog, FailuresCloseWithZeroAfterThePause) {
  struct Case {
    const char* name;
    std::string title;
    std::function<void(Fixture&, UpsLogDialog&)> run;
    const char* caption;
  };
  const Case cases[] = {
      {"progress that stops", "UPS 1",
       [](Fixture& f, UpsLogDialog& d) {
         f.answer(d, 21, 2, 0, 60);
         f.answer(d, 21, 2, 5, 60);
         for (int i = 0; i < kUpsLogStalls; ++i) f.answer(d, 21, 2, 5, 60);
       },
       "UPS Log - failed"},
      {"a refusal", "UPS 1", [](Fixture& f, UpsLogDialog& d) { f.answer(d, 22, 0, 0, 0); },
       "UPS Log - failed"},
      {"a file that cannot be written", "UPS 1",
       [](Fixture& f, UpsLogDialog& d) {
         ASSERT_TRUE(WriteFileAtomic(f.dir.file("Monitor"), "a file, not a folder"));
         f.answer(d, 21, 0, 0, 0);
         f.answer(d, 21, 2, 61, 60);
         f.answer(d, 21, 2, 61, 60, std::vector<uint8_t>(kUpsLogEntryBytes, 0));
       },
       "UPS Log - not written"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Fixture f;
    DeviceNode& node = f.ups(0, c.title);
    bool opened = false;
    UpsLogDialog d(f.env, node, nullptr);
    d.openFile = [&](const std::string&) { opened = true; };
    d.Init();
    c.run(f, d);
    EXPECT_EQ(Caption(d), c.caption);
    EXPECT_TRUE(d.closing());
    EXPECT_EQ(d.closingPauseMs(), kFailurePauseMs);
    EXPECT_FALSE(d.waiting());
    EXPECT_FALSE(opened);
  }
}

TEST(UpsLogDialog, TitlesStayInTheMonitorFolder) {
  for (const char* title : {"../x", "a/b", ".hidden"}) {
    Fixture f;
    UpsLogDialog d(f.env, f.ups(0, title), nullptr);
    const std::string path = d.filePath();
    EXPECT_EQ(path.rfind(f.dir.file("Monitor/UPSEventLog_"), 0), 0u) << title;
    EXPECT_EQ(path.find('/', f.dir.file("Monitor/").size()), std::string::npos) << title;
  }
}

}  // namespace
}  // namespace lark
