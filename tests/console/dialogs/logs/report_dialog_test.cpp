// The Generate Report dialog: dates from the injected clock, a start after
// the end refused before anything is sent, the request, and the reply or
// refusal closing it after its pause.
#include "console/dialogs/logs/report_dialog.h"

#include <gtest/gtest.h>

#include <QCalendarWidget>

#include "console/dialogs/dialog_text_table.h"
#include "tests/console/dialogs/dialog_fixture.h"

namespace lark {
namespace {

struct Fixture : test::DialogFixture {
  Fixture() {
    RegisterReportDialog(env);
    setText("Dialog-Generate Report", "MSG1", "failed");
    setText("Dialog-Generate Report", "MSG2", "sent");
    setText("Dialog-Generate Report", "MSG3", "done");
    setText("MessageBox", "M_30", "start after end");
    ctx.messageBox = [this](QWidget*, const std::string& caption, const std::string& text,
                            unsigned flags) {
      boxes.push_back(caption + ": " + text + " " + std::to_string(flags));
      return 1;
    };
    clock.setWall(WallTime{2026, 3, 31, 2, 10, 0, 0, 0});
  }
  // Everything queued on the request queue: operation records and requests.
  std::vector<std::vector<uint8_t>> queued() {
    std::vector<std::vector<uint8_t>> out;
    while (auto head = link.queues().peek(3)) {
      out.push_back(head->data);
      link.queues().dropHead(3);
    }
    return out;
  }
  std::vector<std::string> boxes;
};

std::string Caption(const QWidget& d) { return d.windowTitle().toStdString(); }

TEST(ReportDialog, DatesFromTheClockAndTheRequest) {
  Fixture f;
  ReportDialog d(f.env, nullptr);
  d.Init();
  EXPECT_EQ(d.period().from, (ReportDate{2026, 2, 28}));
  EXPECT_EQ(d.period().to, (ReportDate{2026, 3, 31}));
  auto* end = dynamic_cast<QCalendarWidget*>(d.Control(1052));
  end->setSelectedDate(QDate(2026, 2, 27));
  d.Generate();  // the start lies after the end
  EXPECT_EQ(f.boxes, (std::vector<std::string>{"Report: start after end 16"}));
  EXPECT_FALSE(d.waiting());
  EXPECT_EQ(f.queued().size(), 1u);  // only operation record 53

  end->setSelectedDate(QDate(2026, 2, 28));  // one day
  d.Generate();
  EXPECT_EQ(Caption(d), "Generate Report - sent");
  EXPECT_FALSE(d.Control(1015)->isEnabled());
  const std::vector<std::vector<uint8_t>> sent = f.queued();
  ASSERT_EQ(sent.size(), 1u);
  const std::vector<uint8_t> payload(sent[0].begin() + 6, sent[0].end());
  ASSERT_EQ(payload.size(), kReportRequestSize);
  EXPECT_EQ(ReportDateAt(payload, 0), (ReportDate{2026, 2, 28}));
  EXPECT_EQ(ReportDateAt(payload, kSystemTimeSize), (ReportDate{2026, 2, 28}));
}

TEST(ReportDialog, TextsFromItsSection) {
  Fixture f;
  f.setText("Dialog-Generate Report", "Title", "Bericht");
  f.setText("Dialog-Generate Report", "L_1", "Von:");
  ReportDialog d(f.env, nullptr);
  const LocalisedTexts t =
      Localise(&d, kReportResource, f.ctx.languageProfile(), f.ctx.texts.language);
  EXPECT_EQ(t.prefix, "Bericht");
  EXPECT_EQ(ControlText(d.Control(1053)), "Von:");
  EXPECT_EQ(ControlText(d.Control(1054)), "End Date:");
}

TEST(ReportDialog, ReplyOrRefusalClosesAfterItsPause) {
  const struct {
    uint8_t code;
    const char* caption;
    int pause, result;
  } cases[] = {{43, "Generate Report - done", 2000, 1}, {44, "Generate Report - failed", 1000, 0}};
  for (const auto& c : cases) {
    Fixture f;
    ReportDialog d(f.env, nullptr);
    d.Init();
    f.queued();
    d.Generate();
    f.reply(kLinkCmdHistoryReport, {c.code, 2});
    OnReplyTimer(d);
    EXPECT_EQ(Caption(d), c.caption);
    EXPECT_TRUE(d.closing());
    EXPECT_EQ(d.closingPauseMs(), c.pause);
  }
}

}  // namespace
}  // namespace lark
