// The settings dialogs on a link whose replies the test feeds: the checks
// that refuse a send, what goes out and what the console keeps (only what
// the service confirmed, as it was sent), and the dialogs that close by
// themselves.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QRadioButton>

#include "console/dialogs/settings/alarm_manage_dialog.h"
#include "console/dialogs/session/connection_dialog.h"
#include "console/dialogs/settings/history_dialog.h"
#include "console/dialogs/settings/stop_all_dialog.h"
#include "console/dialogs/settings/trace_dialogs.h"
#include "console/link/request_payloads.h"
#include "tests/console/dialogs/dialog_fixture.h"

namespace lark {
namespace {

struct Fixture : test::DialogFixture {
  Fixture() {
    for (const char* section : {"Dialog-Connection", "Dialog-ParaManage", "Dialog-StopAll", "Dialog-SetSavePolling",
                                "Dialog-AlarmManage"})
      for (const char* key : {"MSG1", "MSG2", "MSG3", "MSG4", "MSG5", "MSG6"}) setText(section, key, key);
    ctx.messageBox = [this](QWidget*, const std::string&, const std::string& text, unsigned) {
      boxes.push_back(text);
      return int(IDOK);
    };
    for (int n : {21, 22, 72, 73, 74, 75, 76, 77}) setText("MessageBox", "M_" + std::to_string(n), "M_" + std::to_string(n));
  }
  // The dialog's request as the link queued it: sub-command and payload.
  std::pair<uint8_t, std::vector<uint8_t>> sent() {
    while (auto head = link.queues().peek(3)) {
      if (head->requestId == link.pending().sequence && head->requestId != 0)
        return {head->data[5], std::vector<uint8_t>(head->data.begin() + 6, head->data.end())};
      link.queues().dropHead(3);
    }
    return {0, {}};
  }
  void answer(DialogBase& d, uint8_t command, bool ok, std::vector<uint8_t> more = {}) {
    more.insert(more.begin(), static_cast<uint8_t>(ok ? 2 * command - 1 : 2 * command));
    answerPending(command, more);
    OnReplyTimer(d);
  }
  std::vector<std::string> boxes;
};

std::string Caption(const QWidget& d) { return d.windowTitle().toStdString(); }
void Type(DialogBase& d, int id, const char* text) { dynamic_cast<QLineEdit*>(d.Control(id))->setText(text); }

// ---- Connection ----

TEST(ConnectionDialog, ChecksRefuseInTheirOrder) {
  struct Case {
    std::array<std::string, 6> texts;  // SNMP poll, SNMP t/o, serial poll, serial t/o, GPRS poll, GPRS t/o
    size_t devices;
    int box;        // -1: accepted
    int32_t limit;  // the SNMP interval's limit named in the text
  };
  const Case cases[] = {
      {{"200", "1", "200", "1", "5", "1"}, 0, -1, 0},
      {{"199", "1", "200", "1", "5", "1"}, 0, 21, 0},
      {{"200", "1", "199", "1", "5", "1"}, 0, 21, 0},
      {{"200", "1", "200", "1", "4", "1"}, 0, 21, 0},
      {{"2000", "1", "200", "1", "5", "1"}, 30, -1, 0},
      {{"2001", "1", "200", "1", "5", "1"}, 30, 0, 2000},
      {{"3000", "1", "200", "1", "5", "1"}, 60, -1, 0},
      {{"3001", "1", "200", "1", "5", "1"}, 60, 0, 3000},
      {{"abcd", "1", "200", "1", "5", "1"}, 0, 21, 0},
      {{"200", "0", "200", "1", "5", "1"}, 0, 22, 0},
      {{"200", "1", "200", "", "5", "1"}, 0, 22, 0},
      {{"200", "1", "200", "1", "5", "0"}, 0, 22, 0},
      // The intervals come before the time-outs.
      {{"200", "0", "100", "1", "5", "1"}, 0, 21, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.texts[0] + " " + c.texts[1] + " " + c.texts[2] + " devices " + std::to_string(c.devices));
    PollingImage out;
    const auto refusal = CheckPolling(c.texts, c.devices, out);
    if (c.box < 0) {
      EXPECT_FALSE(refusal);
      continue;
    }
    ASSERT_TRUE(refusal);
    EXPECT_EQ(refusal->messageBox, c.box);
    EXPECT_EQ(refusal->snmpLimit, c.limit);
  }
}

TEST(ConnectionDialog, SendsTheSixValuesAndKeepsThemOnlyWhenConfirmed) {
  Fixture f;
  RegisterConnectionDialog(f.env);
  ConnectionDialog d(f.env, nullptr);
  d.Init();
  // The edits take four digits: a fifth is never typed in.
  auto* snmp = dynamic_cast<QLineEdit*>(d.Control(1010));
  EXPECT_EQ(snmp->maxLength(), 4);
  Type(d, 1010, "1500");
  Type(d, 1358, "7");
  d.Ok();
  const auto [sub, image] = f.sent();
  EXPECT_EQ(sub, 1);
  ASSERT_EQ(image.size(), kSettingsImageSize);
  EXPECT_EQ(GetPollingImage(image).snmpPolling, 1500);
  EXPECT_EQ(GetPollingImage(image).gprsPolling, 7);
  EXPECT_FALSE(d.Control(1)->isEnabled());
  Type(d, 1010, "1800");  // typed while waiting: not what was sent
  f.answer(d, kLinkCmdSetPolling, false);
  EXPECT_EQ(Caption(d), "Connection - MSG1");
  EXPECT_EQ(f.ctx.settings.service.snmpPolling, 1000);
  EXPECT_TRUE(d.Control(1)->isEnabled());
  Type(d, 1010, "1500");
  d.Ok();
  Type(d, 1010, "1800");
  f.answer(d, kLinkCmdSetPolling, true);
  EXPECT_EQ(Caption(d), "Connection - MSG3");
  EXPECT_EQ(f.ctx.settings.service.snmpPolling, 1500);
  EXPECT_EQ(f.ctx.settings.service.gprsPolling, 7);
  EXPECT_EQ(d.closingPauseMs(), 1000);
}

// ---- Historical Data Management ----

TEST(HistoryDialog, TypedValuesAreCheckedWhole) {
  struct Case {
    const char* period;
    const char* storage;
    int refusal;
  };
  const Case cases[] = {
      {"120", "6", 0},        {"120", "0", 0},  // no recording
      {"0", "6", 72},         {"", "6", 72},         {"12a", "6", 72},
      {"2147483648", "6", 72}, {"120", "six", 73}, {"120", "", 73},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.period) + " / " + c.storage);
    EXPECT_EQ(CheckHistory(c.period, c.storage, "D:\\Hist").refusal, c.refusal);
  }
}

TEST(HistoryDialog, ReopeningShowsWhatTheServiceConfirmed) {
  Fixture f;
  RegisterHistoryDialog(f.env);
  {
    HistoryDialog d(f.env, nullptr);
    d.Init();
    Type(d, 1196, "120");
    Type(d, 15, "6");
    Type(d, 1498, "/srv/history");
    d.Ok();
    const auto [sub, image] = f.sent();
    EXPECT_EQ(sub, 1);
    EXPECT_EQ(GetHistoryImage(image), (HistoryImage{120, 6, "/srv/history"}));
    f.answer(d, kLinkCmdHistoryReport, true);
    EXPECT_EQ(d.result(), 1);
  }
  HistoryDialog again(f.env, nullptr);
  again.Init();
  EXPECT_EQ(dynamic_cast<QLineEdit*>(again.Control(1196))->text(), "120");
  EXPECT_EQ(dynamic_cast<QLineEdit*>(again.Control(15))->text(), "6");
  EXPECT_EQ(dynamic_cast<QLineEdit*>(again.Control(1498))->text(), "/srv/history");
  // A refused folder changes nothing and gives the buttons back.
  Type(again, 1498, "/etc");
  again.Ok();
  f.answer(again, kLinkCmdHistoryReport, false);
  EXPECT_EQ(Caption(again), "Historical Data Management - MSG1");
  EXPECT_EQ(f.ctx.settings.service.historyDirectory, "/srv/history");
  EXPECT_TRUE(again.Control(2)->isEnabled());
}

// ---- Stop All, Save Serial, Save Network ----

TEST(ProgressDialogs, StopAllFillsItsBarAndClosesWhateverTheAnswer) {
  for (bool ok : {true, false}) {
    Fixture f;
    RegisterStopAllDialog(f.env);
    StopAllDialog d(f.env, nullptr);
    d.Init();
    auto* bar = dynamic_cast<QProgressBar*>(d.Control(kProgressControl));
    for (int tick = 1; tick <= 7; ++tick) {
      OnReplyTimer(d);
      EXPECT_EQ(bar->value(), std::min(100, tick * 100 / 6)) << tick;
    }
    f.answer(d, kLinkCmdStopAllAlarms, ok);
    EXPECT_EQ(Caption(d), ok ? "Stop All - MSG3" : "Stop All - MSG1");
    EXPECT_EQ(d.closingPauseMs(), 1000);
    EXPECT_TRUE(d.closing());
  }
}

TEST(ProgressDialogs, TraceFlagsFollowTheServicesAnswer) {
  Fixture f;
  RegisterTraceDialogs(f.env);
  // Save Network twice: the second stops what the first started.
  for (uint8_t want : {2, 3}) {
    SaveNetworkDialog d(f.env, nullptr);
    d.Init();
    EXPECT_EQ(f.sent().first, want);
    f.answer(d, kLinkCmdTrafficMonitor, true, {want, static_cast<uint8_t>(want == 2 ? 1 : 0)});
    EXPECT_EQ(f.ctx.commands.networkSaving, want == 2);
    EXPECT_TRUE(d.closing());
  }
  // Save Serial's answer (sub-command 4) leaves both flags.
  f.ctx.commands.networkSaving = true;
  SaveSerialDialog s(f.env, nullptr);
  s.Init();
  dynamic_cast<QComboBox*>(s.Control(10))->setCurrentIndex(1);
  s.Ok();
  const auto [sub, payload] = f.sent();
  EXPECT_EQ(sub, 4);
  EXPECT_EQ(DecodeTraceRequest(payload), (TraceRequest{1, 1, 5, 1}));
  f.answer(s, kLinkCmdTrafficMonitor, true, {4, 1});
  EXPECT_FALSE(f.ctx.commands.serialSaving);
  EXPECT_TRUE(f.ctx.commands.networkSaving);
}

TEST(ProgressDialogs, SaveSerialPeriodIsAWholeNumberOrEmpty) {
  struct Case {
    const char* period;
    bool stop;
    std::optional<int32_t> minutes;
  };
  const Case cases[] = {{"5", false, 5},   {"", false, 0},       {"  ", false, 0}, {"1x", false, std::nullopt},
                        {"99999999999", false, std::nullopt}, {"abc", true, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.period);
    const auto r = SerialTraceRequest(3, c.period, c.stop);
    ASSERT_EQ(r.has_value(), c.minutes.has_value());
    if (!r) continue;
    EXPECT_EQ(r->periodMinutes, *c.minutes);
    EXPECT_EQ(r->start, c.stop ? 0u : 1u);
    EXPECT_EQ(r->port, 3u);
  }
}

// ---- Alarm Management ----

struct AlarmFixture : Fixture {
  AlarmFixture() {
    RegisterAlarmManageDialog(env);
    std::vector<uint8_t> table(kActionTablePageBytes[0], 0);
    for (size_t row = 0; row < 72; ++row) {
      putStr(table, row * kActionRowSize, kActionTitleSize, "Event " + std::to_string(row));
      table[row * kActionRowSize + kActionLevelOff] = 1;
    }
    table[kActionRowSize + kActionLevelOff] = 7;  // a level no table knows
    link.session().actionTables[0] = table;
  }
  QRadioButton* radio(DialogBase& d, int id) { return dynamic_cast<QRadioButton*>(d.Control(id)); }
};

TEST(AlarmManageDialog, AFamilyShowsOnlyWhenItsTableIsWhole) {
  AlarmFixture f;
  f.link.session().actionTables[0].resize(kActionTablePageBytes[0] - 1);
  AlarmManageDialog d(f.env, nullptr);
  d.Init();
  EXPECT_EQ(Caption(d), "Alarm Management - MSG1");
  EXPECT_FALSE(d.Control(kUpdateEvent)->isEnabled());
  EXPECT_FALSE(d.Control(kUpdateReactions)->isEnabled());
  EXPECT_EQ(dynamic_cast<QListWidget*>(d.Control(103))->count(), 0);
}

TEST(AlarmManageDialog, ShowsLevelsAndKnowsNoneAbove2) {
  AlarmFixture f;
  AlarmManageDialog d(f.env, nullptr);
  d.Init();
  EXPECT_EQ(dynamic_cast<QListWidget*>(d.Control(103))->count(), 72);
  EXPECT_TRUE(f.radio(d, 11)->isChecked());
  d.SelectRow(1);
  for (int id : {10, 11, 12}) EXPECT_FALSE(f.radio(d, id)->isChecked()) << id;
}

TEST(AlarmManageDialog, MaximumGoesFirstAndEachChangeIsKeptOnlyWhenConfirmed) {
  AlarmFixture f;
  AlarmManageDialog d(f.env, nullptr);
  d.Init();
  f.radio(d, 10)->setChecked(true);
  Type(d, 14, "5");
  Type(d, 101, "20000");
  d.UpdateEvent();
  auto [sub, payload] = f.sent();
  EXPECT_EQ(sub, 33);
  EXPECT_EQ(u32At(payload, 0), 20000u);
  EXPECT_EQ(f.ctx.settings.service.maxEventLog, 10000);  // not before the service's word
  f.answer(d, kLinkCmdEventTables, true);
  EXPECT_EQ(f.ctx.settings.service.maxEventLog, 20000);
  std::tie(sub, payload) = f.sent();
  EXPECT_EQ(sub, 1);
  ASSERT_EQ(payload.size(), kActionTablePageBytes[0]);
  EXPECT_EQ(payload[kActionLevelOff], 0);
  EXPECT_EQ(i32At(payload, kActionDelayOff), 5);
  // Refused: the console's copies keep the old row; the buttons come back.
  f.answer(d, kLinkCmdEventTables, false);
  EXPECT_EQ(Caption(d), "Alarm Management - MSG4");
  EXPECT_EQ(f.link.session().actionTables[0][kActionLevelOff], 1);
  EXPECT_TRUE(d.Control(kUpdateEvent)->isEnabled());
  // Confirmed: the link's table and the console's level table take it.
  d.UpdateEvent();
  EXPECT_EQ(f.sent().first, 1);  // the maximum is already the service's
  f.answer(d, kLinkCmdEventTables, true);
  EXPECT_EQ(Caption(d), "Alarm Management - MSG6");
  EXPECT_EQ(f.link.session().actionTables[0][kActionLevelOff], 0);
  EXPECT_EQ(f.ctx.tables.actions()->table(ActionFamily::Snmpv4)[0].level(), 0);
  EXPECT_EQ(f.ctx.tables.actions()->table(ActionFamily::Snmpv4)[0].delayTime(), 5);
  // A write that times out gives the buttons back too.
  d.UpdateEvent();
  f.clock.advance(10001);
  OnReplyTimer(d);
  EXPECT_EQ(Caption(d), "Alarm Management - MSG4");
  EXPECT_TRUE(d.Control(kUpdateReactions)->isEnabled());
}

TEST(AlarmManageDialog, TypedNumbersOutsideWhatTheServiceKeepsAreRefused) {
  struct Case {
    int edit;
    const char* text;
    bool reactions;
    const char* box;
  };
  const Case cases[] = {{101, "9", false, "M_74"},           {101, "1000000000", false, "M_74"},
                        {101, "lots", false, "M_74"},        {14, "soon", false, "M_77"},
                        {1109, "0", true, "M_75"},           {1109, "12345678901234", true, "M_75"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    AlarmFixture f;
    AlarmManageDialog d(f.env, nullptr);
    d.Init();
    Type(d, c.edit, c.text);
    c.reactions ? d.UpdateReactions() : d.UpdateEvent();
    EXPECT_EQ(f.boxes, std::vector<std::string>{c.box});
    EXPECT_FALSE(d.waiting());
  }
}

TEST(AlarmManageDialog, ReactionsOfTheShownLevelGoOutWithTheOthersUnchanged) {
  AlarmFixture f;
  const ServiceSettings defaults = f.ctx.settings.service;
  AlarmManageDialog d(f.env, nullptr);
  d.Init();
  dynamic_cast<QTabBar*>(d.Control(1178))->setCurrentIndex(1);
  EXPECT_EQ(f.ctx.commands.alarmLevelTab, 1);
  dynamic_cast<QCheckBox*>(d.Control(1079))->setChecked(true);
  Type(d, 1109, "30");
  d.UpdateReactions();
  const auto [sub, image] = f.sent();
  EXPECT_EQ(sub, 31);
  const ReactionImage r = GetReactionImage(image);
  EXPECT_EQ(r.masks[0], defaults.reactionMasks[0]);
  EXPECT_EQ(r.masks[1], defaults.reactionMasks[1] | 8u);
  EXPECT_EQ(r.audioInterval[1], 30);
  EXPECT_EQ(f.ctx.settings.service.audioInterval[1], defaults.audioInterval[1]);
  f.answer(d, kLinkCmdEventTables, true);
  EXPECT_EQ(f.ctx.settings.service.audioInterval[1], 30);
  EXPECT_EQ(f.ctx.settings.service.reactionMasks[1], defaults.reactionMasks[1] | 8u);
}

}  // namespace
}  // namespace lark
