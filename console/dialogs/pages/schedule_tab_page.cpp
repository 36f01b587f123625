// Sections: the controls, the reload, editing the rows, sending and the reply.
#include "console/dialogs/pages/schedule_tab_page.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <cstdio>

#include "console/dialogs/pages/calendar_widget.h"
#include "console/dialogs/console_dialogs.h"
#include "console/dialogs/dialog_text_table.h"
#include "console/shell/console_context.h"
#include "console/shell/dialog_texts.h"
#include "console/tabs/detail_tabs.h"
#include "core/schedule_runner.h"
#include "linkserver/link_frame.h"

namespace lark {

namespace {

constexpr int kMonthLabel = 1268, kPrevMonth = 1084, kNextMonth = 1085;
constexpr int kNextLines[4] = {1098, 1099, 1100, 1101};
constexpr int kWeekday = 1011, kWeekAction = 1012, kDatedAction = 1013;
constexpr int kWeekHour = 1103, kWeekMinute = 1104, kDatedHour = 1107, kDatedMinute = 1108;
constexpr int kYear = 1109, kMonth = 1110, kDay = 1111;
constexpr int kWeekList = 1105, kDatedList = 1106;
const std::vector<int> kEditingButtons = {1047, 1048, 1083, 1086, 1087, 1088, 1089, 1090, 1091, 1092};
constexpr uint16_t kLogWeekAdd = 73, kLogWeekModify = 74, kLogWeekDelete = 75, kLogWeekUpdate = 76;
constexpr uint16_t kLogDatedAdd = 77, kLogDatedModify = 78, kLogDatedDelete = 79, kLogDatedUpdate = 80;
constexpr uint16_t kLogGroupCopy = 81, kLogAllCopy = 82;
constexpr int kCopiedMessage = 53;  // [MessageBox] M_53
constexpr int kTextMax = 64;

QString Text(const QWidget* w) { return static_cast<const QLineEdit*>(w)->text().trimmed(); }

}  // namespace

// ---- the controls ----

ScheduleTabPage::ScheduleTabPage(ConsoleDialogs& env, QWidget* page)
    : TabPage(env, kScheduleTabResource, kTabSchedule, page) {
  ConsoleContext& ctx = env.ctx;
  SetPrefix(ctx.texts.view.tabTitles[kTabSchedule]);
  auto* grid = new QGridLayout(this);
  auto edit = [&](int id, const char* name) {
    auto* e = new QLineEdit(this);
    SetControlId(e, id);
    e->setAccessibleName(name);
    e->setMaxLength(kTextMax - 1);
    return e;
  };
  auto combo = [&](int id, const char* name) {
    auto* c = new QComboBox(this);
    SetControlId(c, id);
    c->setAccessibleName(name);
    return c;
  };
  auto label = [&](const char* text, QWidget* buddy) {
    auto* l = new QLabel(text, this);
    SetControlId(l, -1);  // a fixed text no localiser touches
    l->setBuddy(buddy);
    return l;
  };

  // The calendar and its month.
  calendar_ = new CalendarWidget({ctx.fonts.label, ctx.fonts.value}, this);
  auto* month = new QLabel(this);
  SetControlId(month, kMonthLabel);
  month->setAccessibleName("Month");
  auto* prev = new QPushButton("<<", this);
  SetControlId(prev, kPrevMonth);
  prev->setAccessibleName("Previous month");
  auto* next = new QPushButton(">>", this);
  SetControlId(next, kNextMonth);
  next->setAccessibleName("Next month");
  for (QPushButton* b : {prev, next}) b->setAutoDefault(false);
  auto* monthRow = new QHBoxLayout;
  monthRow->addWidget(prev);
  monthRow->addWidget(month, 1, Qt::AlignCenter);
  monthRow->addWidget(next);
  grid->addLayout(monthRow, 0, 0);
  grid->addWidget(calendar_, 1, 0, 2, 1);

  // The next actions.
  auto* nextBox = new QGroupBox(QString::fromStdString(EnglishText(kScheduleTabResource, 1600)), this);
  SetControlId(nextBox, 1600);
  auto* nextRows = new QVBoxLayout(nextBox);
  const char* nextTexts[4] = {"Next Shutdown: ", "Next Restart: ", "Next 10-seconds Test:", "Next Deep Battery Test:"};
  for (int k = 0; k < 4; ++k) {
    auto* l = new QLabel(nextTexts[k], this);
    SetControlId(l, kNextLines[k]);
    l->setAccessibleName(nextTexts[k]);
    nextRows->addWidget(l);
  }
  grid->addWidget(nextBox, 3, 0);

  // Weekly rows.
  auto* week = new QGroupBox(QString::fromStdString(EnglishText(kScheduleTabResource, 1243)), this);
  SetControlId(week, 1243);
  auto* wg = new QGridLayout(week);
  weekList_ = new QListWidget(this);
  SetControlId(weekList_, kWeekList);
  weekList_->setAccessibleName("Weekly schedule");
  auto* weekday = combo(kWeekday, "Weekday");
  auto* wh = edit(kWeekHour, "Weekly hour");
  auto* wm = edit(kWeekMinute, "Weekly minute");
  auto* wa = combo(kWeekAction, "Weekly action");
  wg->addWidget(weekList_, 0, 0, 1, 5);
  wg->addWidget(label("Day:", weekday), 1, 0);
  wg->addWidget(weekday, 1, 1);
  wg->addWidget(label("Time:", wh), 1, 2);
  wg->addWidget(wh, 1, 3);
  wg->addWidget(wm, 1, 4);
  wg->addWidget(label("Action:", wa), 2, 0);
  wg->addWidget(wa, 2, 1, 1, 4);
  int col = 0;
  for (int id : {1083, 1086, 1087, 1088}) wg->addWidget(NewButton(id), 3, col++);
  grid->addWidget(week, 0, 1, 2, 1);

  // Dated rows.
  auto* dated = new QGroupBox(QString::fromStdString(EnglishText(kScheduleTabResource, 1244)), this);
  SetControlId(dated, 1244);
  auto* dg = new QGridLayout(dated);
  dateList_ = new QListWidget(this);
  SetControlId(dateList_, kDatedList);
  dateList_->setAccessibleName("Specific date schedule");
  auto* y = edit(kYear, "Year");
  auto* m = edit(kMonth, "Month");
  auto* d = edit(kDay, "Day");
  auto* dh = edit(kDatedHour, "Date hour");
  auto* dm = edit(kDatedMinute, "Date minute");
  auto* da = combo(kDatedAction, "Date action");
  dg->addWidget(dateList_, 0, 0, 1, 5);
  dg->addWidget(label("(YYYY / MM / DD)", y), 1, 0);
  dg->addWidget(y, 1, 1);
  dg->addWidget(m, 1, 2);
  dg->addWidget(d, 1, 3);
  dg->addWidget(label("Time:", dh), 2, 0);
  dg->addWidget(dh, 2, 1);
  dg->addWidget(dm, 2, 2);
  dg->addWidget(label("Action:", da), 3, 0);
  dg->addWidget(da, 3, 1, 1, 4);
  col = 0;
  for (int id : {1089, 1090, 1091, 1092}) dg->addWidget(NewButton(id), 4, col++);
  grid->addWidget(dated, 2, 1, 2, 1);

  auto* applyRow = new QHBoxLayout;
  applyRow->addWidget(NewButton(1047));
  applyRow->addWidget(NewButton(1048));
  grid->addLayout(applyRow, 4, 0, 1, 2);
  grid->addWidget(Control(kPageStatusControl), 5, 0, 1, 2);
  grid->setRowStretch(6, 1);

  const std::pair<int, std::function<void()>> actions[] = {
      {kPrevMonth, [this] { ChangeMonth(-1); }},
      {kNextMonth, [this] { ChangeMonth(1); }},
      {1083, [this] { AddWeekly(false); }},
      {1086, [this] { AddWeekly(true); }},
      {1087, [this] { DeleteWeekly(); }},
      {1088, [this] { Update(kScheduleTableWeekly); }},
      {1089, [this] { AddDated(false); }},
      {1090, [this] { AddDated(true); }},
      {1091, [this] { DeleteDated(); }},
      {1092, [this] { Update(kScheduleTableDated); }},
      {1047, [this] { Apply(kScheduleScopeGroup); }},
      {1048, [this] { Apply(kScheduleScopeAll); }},
  };
  for (const auto& [id, act] : actions)
    connect(static_cast<QPushButton*>(Control(id)), &QPushButton::clicked, this, act);
  connect(weekList_, &QListWidget::currentRowChanged, this, [this](int r) { WeeklySelected(r); });
  connect(dateList_, &QListWidget::currentRowChanged, this, [this](int r) { DatedSelected(r); });

  // Opening: today's month, day and date; times 0.
  const WallTime now = ctx.clock().now();
  CalendarState& s = calendar_->state();
  s.year = now.year, s.month = now.month, s.selectedDay = now.day;
  ShowMonth();
  FillCombos();
  for (QLineEdit* e : {wh, wm, dh, dm}) e->setText("0");
  y->setText(QString::number(now.year));
  m->setText(QString::number(now.month));
  d->setText(QString::number(now.day));
  ShowControls(kEditingButtons, false);
}

std::string ScheduleTabPage::CommonText(int n) const {
  const auto& common = env().ctx.texts.language.common;
  return n >= 1 && static_cast<size_t>(n) <= common.size() ? common[static_cast<size_t>(n - 1)].value_or("") : "";
}

ScheduleNames ScheduleTabPage::Names() const {
  ScheduleNames n;
  for (int w = 0; w < 7; ++w) n.weekdays[static_cast<size_t>(w)] = CommonText(11 + w);
  for (int k = 0; k < 5; ++k) n.actions[static_cast<size_t>(k)] = CommonText(18 + k);
  return n;
}

void ScheduleTabPage::FillCombos() {
  const ScheduleNames n = Names();
  auto fill = [this](int id, const auto& names) {
    auto* c = static_cast<QComboBox*>(Control(id));
    const int keep = std::max(c->currentIndex(), 0);
    c->clear();
    for (const std::string& s : names) c->addItem(QString::fromStdString(s));
    c->setCurrentIndex(keep);
  };
  fill(kWeekday, n.weekdays);
  fill(kWeekAction, n.actions);
  fill(kDatedAction, n.actions);
}

void ScheduleTabPage::ShowMonth() {
  const CalendarState& s = calendar_->state();
  char text[16];
  std::snprintf(text, sizeof text, "%04d/%02d", s.year % 10000, s.month % 100);
  SetControlText(Control(kMonthLabel), text);
  calendar_->Repaint();
}

void ScheduleTabPage::ChangeMonth(int step) {
  CalendarState& s = calendar_->state();
  s.month += step;
  if (s.month < 1) s.month = 12, --s.year;
  if (s.month > 12) s.month = 1, ++s.year;
  ShowMonth();
}

// ---- the reload ----

void ScheduleTabPage::Reload(DeviceNode* device) {
  if (device == nullptr) {
    ShowControls(kEditingButtons, false);
    return;
  }
  const bool same = rowsId_ == device->id();
  rowsId_ = device->id();
  const ScheduleTables stored = ScheduleTablesOf(*device);
  if (!(same && weekDirty_)) rows_.week = stored.week, weekDirty_ = false;
  if (!(same && datedDirty_)) rows_.dated = stored.dated, datedDirty_ = false;
  FillCombos();
  calendar_->SetRows(ScheduleRowsOf(*device));
  calendar_->Repaint();
  const ScheduleNames n = Names();
  const std::string word = CommonText(23);
  for (int k = 1; k <= 4; ++k) {
    const PendingAction a = device->pendingAction(k - 1);
    std::string line = word + " " + n.actions[static_cast<size_t>(k)] + ": ";
    if (a.year == 0) {
      line += n.actions[0];
    } else {
      char when[32];
      std::snprintf(when, sizeof when, "%04d/%02d/%02d %02d:%02d", a.year, a.month, a.day, a.hour, a.minute);
      line += when;
    }
    SetControlText(Control(kNextLines[k - 1]), line);
  }
  ShowLists();
  ShowControls(kEditingButtons, MayChange());
}

void ScheduleTabPage::ShowLists() {
  const ScheduleNames n = Names();
  const QSignalBlocker quietWeek(weekList_), quietDated(dateList_);
  weekList_->clear();
  for (const ScheduleWeekEntry& r : rows_.week) weekList_->addItem(QString::fromStdString(WeekRowText(r, n)));
  dateList_->clear();
  for (const ScheduleDateEntry& r : rows_.dated) dateList_->addItem(QString::fromStdString(DateRowText(r, n)));
  weekList_->setCurrentRow(rows_.week.empty() ? -1 : 0);
  dateList_->setCurrentRow(rows_.dated.empty() ? -1 : 0);
}

// ---- editing the rows ----

void ScheduleTabPage::WeeklySelected(int row) {
  if (row < 0 || static_cast<size_t>(row) >= rows_.week.size()) return;
  const ScheduleWeekEntry& r = rows_.week[static_cast<size_t>(row)];
  static_cast<QComboBox*>(Control(kWeekday))->setCurrentIndex(r.weekday - 1);
  static_cast<QComboBox*>(Control(kWeekAction))->setCurrentIndex(r.actionClass);
  SetControlText(Control(kWeekHour), std::to_string(r.hour));
  SetControlText(Control(kWeekMinute), std::to_string(r.minute));
}

void ScheduleTabPage::DatedSelected(int row) {
  if (row < 0 || static_cast<size_t>(row) >= rows_.dated.size()) return;
  const ScheduleDateEntry& r = rows_.dated[static_cast<size_t>(row)];
  SetControlText(Control(kYear), std::to_string(r.year));
  SetControlText(Control(kMonth), std::to_string(r.month));
  SetControlText(Control(kDay), std::to_string(r.day));
  SetControlText(Control(kDatedHour), std::to_string(r.hour));
  SetControlText(Control(kDatedMinute), std::to_string(r.minute));
  static_cast<QComboBox*>(Control(kDatedAction))->setCurrentIndex(r.actionClass);
}

void ScheduleTabPage::Error(const char* text, const char* caption) {
  env().ctx.messageBox(this, caption, text, MB_ICONEXCLAMATION);
}

void ScheduleTabPage::AddWeekly(bool modify) {
  const int current = weekList_->currentRow();
  if (modify && (current < 0 || static_cast<size_t>(current) >= rows_.week.size())) return;
  if (!modify && rows_.week.size() >= kScheduleRowsMax) return Error("Too many schedule", "Warning");
  const auto time = ParseScheduleTime(Text(Control(kWeekHour)).toStdString(), Text(Control(kWeekMinute)).toStdString());
  if (!time) return Error("Time is out of rang", "Error");
  ScheduleWeekEntry r;
  r.weekday = static_cast<int16_t>(std::max(static_cast<QComboBox*>(Control(kWeekday))->currentIndex(), 0) + 1);
  r.actionClass = static_cast<uint8_t>(std::max(static_cast<QComboBox*>(Control(kWeekAction))->currentIndex(), 0));
  if (r.actionClass != 0) r.hour = static_cast<uint8_t>(time->first), r.minute = static_cast<uint8_t>(time->second);
  const int at = modify ? current : static_cast<int>(rows_.week.size());
  if (modify)
    rows_.week[static_cast<size_t>(at)] = r;
  else
    rows_.week.push_back(r);
  weekDirty_ = true;
  ShowLists();
  weekList_->setCurrentRow(at);
  PostLog(0, modify ? kLogWeekModify : kLogWeekAdd, WeekRowText(r, Names()));
}

void ScheduleTabPage::DeleteWeekly() {
  const int current = weekList_->currentRow();
  if (current < 0 || static_cast<size_t>(current) >= rows_.week.size()) return;
  const std::string text = WeekRowText(rows_.week[static_cast<size_t>(current)], Names());
  rows_.week.erase(rows_.week.begin() + current);
  weekDirty_ = true;
  ShowLists();
  weekList_->setCurrentRow(std::min(current, static_cast<int>(rows_.week.size()) - 1));
  PostLog(0, kLogWeekDelete, text);
}

void ScheduleTabPage::AddDated(bool modify) {
  const int current = dateList_->currentRow();
  if (modify && (current < 0 || static_cast<size_t>(current) >= rows_.dated.size())) return;
  if (!modify && rows_.dated.size() >= kScheduleRowsMax) return Error("Too many schedule", "Warning");
  const auto date = ParseScheduleDate(Text(Control(kYear)).toStdString(), Text(Control(kMonth)).toStdString(),
                                      Text(Control(kDay)).toStdString());
  const auto time = ParseScheduleTime(Text(Control(kDatedHour)).toStdString(), Text(Control(kDatedMinute)).toStdString());
  if (!date || !time) return Error("Date is out of rang", "Error");
  ScheduleDateEntry r;
  r.year = static_cast<int16_t>((*date)[0]);
  r.month = static_cast<uint8_t>((*date)[1]);
  r.day = static_cast<uint8_t>((*date)[2]);
  r.actionClass = static_cast<uint8_t>(std::max(static_cast<QComboBox*>(Control(kDatedAction))->currentIndex(), 0));
  if (r.actionClass != 0) r.hour = static_cast<uint8_t>(time->first), r.minute = static_cast<uint8_t>(time->second);
  const int at = modify ? current : static_cast<int>(rows_.dated.size());
  if (modify)
    rows_.dated[static_cast<size_t>(at)] = r;
  else
    rows_.dated.push_back(r);
  datedDirty_ = true;
  ShowLists();
  dateList_->setCurrentRow(at);
  PostLog(0, modify ? kLogDatedModify : kLogDatedAdd, DateRowText(r, Names()));
}

void ScheduleTabPage::DeleteDated() {
  const int current = dateList_->currentRow();
  if (current < 0 || static_cast<size_t>(current) >= rows_.dated.size()) return;
  const std::string text = DateRowText(rows_.dated[static_cast<size_t>(current)], Names());
  rows_.dated.erase(rows_.dated.begin() + current);
  datedDirty_ = true;
  ShowLists();
  dateList_->setCurrentRow(std::min(current, static_cast<int>(rows_.dated.size()) - 1));
  PostLog(0, kLogDatedDelete, text);
}

// ---- sending and the reply ----

void ScheduleTabPage::Update(ScheduleTable table) { SendBlock(kScheduleScopeDevice, table); }

void ScheduleTabPage::Apply(ScheduleScope scope) { SendBlock(scope, kScheduleTableWeekly); }

void ScheduleTabPage::SendBlock(ScheduleScope scope, ScheduleTable table) {
  DeviceNode* device = LoadedDevice();
  if (device == nullptr) return;
  if (!Send(kLinkCmdSetSchedule, 1, kPageRequestTimeoutMs, BuildScheduleBlock(scope, device->idU16(), table, rows_))) {
    ShowMessage("MSG1");
    return;
  }
  submitted_ = Submitted{device->id(), scope, table, rows_};
  ShowMessage("MSG2");
  EnableControls({1088, 1092}, false);
}

void ScheduleTabPage::OnReplyCode(std::optional<uint8_t> code) {
  EnableControls({1088, 1092}, true);
  const std::optional<Submitted> s = std::move(submitted_);
  submitted_.reset();
  DeviceNode* device = s ? env().ctx.tree.findById(s->id) : nullptr;
  if (code != 2 * kLinkCmdSetSchedule - 1 || device == nullptr) {
    ShowMessage("MSG1");
    return;
  }
  ConsoleContext& ctx = env().ctx;
  switch (s->scope) {
    case kScheduleScopeDevice:
      WriteScheduleTable(*device, s->table, s->rows);
      if (s->id == rowsId_) (s->table == kScheduleTableWeekly ? weekDirty_ : datedDirty_) = false;
      FindNextScheduledActions(*device, ctx.clock().now());
      PostLog(0, s->table == kScheduleTableWeekly ? kLogWeekUpdate : kLogDatedUpdate, "");
      break;
    case kScheduleScopeGroup:
      FindNextScheduledActions(*device, ctx.clock().now());
      if (DeviceNode* group = device->parent())
        for (const auto& child : group->children())
          if (child.get() != device && !child->isGroup()) CopySchedule(*child, *device);
      ctx.ShowLangMessageBox(this, kCopiedMessage, "Schedule", MB_ICONINFORMATION);
      PostLog(0, kLogGroupCopy, "");
      break;
    case kScheduleScopeAll:
      FindNextScheduledActions(*device, ctx.clock().now());
      CopyScheduleToSubtree(ctx.tree.root(), *device);
      ctx.ShowLangMessageBox(this, kCopiedMessage, "Schedule", MB_ICONINFORMATION);
      PostLog(0, kLogAllCopy, "");
      break;
  }
  ShowMessage("MSG3");
  RequestReload();
}

QWidget* CreateScheduleTab(ConsoleDialogs& env, QWidget* page) { return new ScheduleTabPage(env, page); }

}  // namespace lark
