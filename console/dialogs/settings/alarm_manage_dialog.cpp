#include "console/dialogs/settings/alarm_manage_dialog.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

#include "console/dialogs/console_dialogs.h"
#include "console/dialogs/dialog_numbers.h"
#include "console/dialogs/dialog_text_table.h"
#include "console/link/request_payloads.h"
#include "console/link/service_link.h"
#include "console/shell/console_context.h"
#include "console/shell/dialog_texts.h"
#include "core/event_log.h"
#include "linkserver/link_frame.h"

namespace lark {

namespace {

constexpr uint32_t kRequestTimeoutMs = 10000;
constexpr uint8_t kSubMaxEntries = 33, kSubReactions = 31;
constexpr uint16_t kLogOpened = 24, kLogMaxEntries = 25, kLogReactions = 26;
constexpr int kBadMaxEntries = 74, kBadInterval = 75, kBadDelay = 77;  // [MessageBox]
constexpr int32_t kMaxEntriesLargest = 999999999;  // as the service reads the key
constexpr uint32_t kLargest = 0x7FFFFFFF;
constexpr uint32_t kBitBroadcast = 1, kBitEmail = 2, kBitSound = 4, kBitSms = 8;
// The notification sheet's pages of the recipient buttons.
constexpr int kPageEmail = 0, kPageBroadcast = 1, kPageSms = 2;

using F = ActionFamily;
constexpr AlarmFamily kFamilies[] = {
    {0, "SNMP-UPSv4", {F::Snmpv4, F::Snmpv4}, 1},
    {1, "RS232/Modbus-Norva", {F::Regular, F::RegularPlus}, 2},
    {2, "RS485-3Phase", {F::ThreePhase, F::ThreePhasePlus}, 2},
    {3, "Modbus-TRV5200", {F::Mge, F::Mge}, 1},
    {4, "Modbus-QLM-PLC", {F::Plc, F::Plc}, 1},
    {5, "Modbus-9315", {F::Pw, F::Pw}, 1},
    {6, "Inverter-Norva", {F::Inverter, F::Inverter}, 1},
    {8, "GPRS-Norva", {F::Gprs, F::Gprs}, 1},
};

size_t PageOf(ActionFamily f) { return static_cast<size_t>(ActionFamilyOf(f).readSub / 2); }

}  // namespace

std::optional<AlarmRowPlace> PlaceOfRow(const AlarmFamily& family, size_t listRow) {
  for (int t = 0; t < family.tableCount; ++t) {
    const size_t rows = ActionFamilyOf(family.tables[t]).rows;
    if (listRow < rows) return AlarmRowPlace{family.tables[t], listRow};
    listRow -= rows;
  }
  return std::nullopt;
}

AlarmManageDialog::AlarmManageDialog(ConsoleDialogs& env, QWidget* owner)
    : DialogBase(env, kAlarmManageResource, kAlarmManageDialogId, owner) {
  auto text = [](int id) { return QString::fromStdString(EnglishText(kAlarmManageResource, id)); };
  auto label = [&](int id, const QString& t, QWidget* buddy) {
    auto* l = new QLabel(t, this);
    SetControlId(l, id);
    if (buddy) l->setBuddy(buddy);
    return l;
  };
  auto button = [&](int id, auto action) {
    auto* b = new QPushButton(text(id), this);
    SetControlId(b, id);
    b->setAccessibleName(text(id).remove('&').remove("...").trimmed());
    connect(b, &QPushButton::clicked, this, action);
    return b;
  };
  auto check = [&](int id) {
    auto* c = new QCheckBox(text(id), this);
    SetControlId(c, id);
    c->setAccessibleName(text(id));
    return c;
  };
  auto edit = [&](int id, const char* name) {
    auto* e = new QLineEdit(this);
    SetControlId(e, id);
    e->setAccessibleName(name);
    return e;
  };

  auto* grid = new QGridLayout(this);
  families_ = new QComboBox(this);
  SetControlId(families_, 1017);
  families_->setAccessibleName("Device family");
  events_ = new QListWidget(this);
  SetControlId(events_, 103);
  events_->setAccessibleName("Power Event");
  grid->addWidget(families_, 0, 0, 1, 2);
  grid->addWidget(label(1244, text(1244), events_), 1, 0);
  grid->addWidget(events_, 2, 0, 6, 1);

  grid->addWidget(label(1600, text(1600), nullptr), 1, 1);
  levels_ = new QButtonGroup(this);
  for (int id : {10, 11, 12}) {
    auto* r = new QRadioButton(text(id), this);
    SetControlId(r, id);
    r->setAccessibleName(text(id));
    levels_->addButton(r, id - 10);
    grid->addWidget(r, 2 + id - 10, 1);
  }
  delay_ = edit(14, "Delay");
  grid->addWidget(label(1247, "Delay:", delay_), 5, 1);
  grid->addWidget(delay_, 5, 2);
  grid->addWidget(label(1248, "sec", nullptr), 5, 3);
  maxEntries_ = edit(101, "Maximum Storage Entries");
  grid->addWidget(label(1243, text(1243), maxEntries_), 6, 1);
  grid->addWidget(maxEntries_, 6, 2);
  grid->addWidget(button(kUpdateEvent, [this] { UpdateEvent(); }), 7, 1);

  tabs_ = new QTabBar(this);
  SetControlId(tabs_, 1178);
  tabs_->setAccessibleName("Alarm level");
  for (int id : {10, 11, 12}) tabs_->addTab(text(id));
  grid->addWidget(label(1245, text(1245), tabs_), 8, 0);
  grid->addWidget(tabs_, 9, 0, 1, 4);
  sound_ = check(1076);
  interval_ = edit(1109, "Sound interval");
  cycle_ = new QComboBox(this);
  SetControlId(cycle_, 1016);
  cycle_->setAccessibleName("Sound repetition");
  grid->addWidget(sound_, 10, 0);
  grid->addWidget(interval_, 10, 1);
  grid->addWidget(label(1246, text(1246), interval_), 10, 2);
  grid->addWidget(cycle_, 10, 3);
  broadcast_ = check(1077);
  email_ = check(1078);
  sms_ = check(1079);
  auto sheet = [this](int page) {
    if (this->env().ctx.points.openNotificationSheet) this->env().ctx.points.openNotificationSheet(this, page);
  };
  grid->addWidget(broadcast_, 11, 0);
  grid->addWidget(button(1179, [sheet] { sheet(kPageBroadcast); }), 11, 1);
  grid->addWidget(email_, 12, 0);
  grid->addWidget(button(1177, [sheet] { sheet(kPageEmail); }), 12, 1);
  grid->addWidget(sms_, 13, 0);
  grid->addWidget(button(1180, [sheet] { sheet(kPageSms); }), 13, 1);
  grid->addWidget(button(kUpdateReactions, [this] { UpdateReactions(); }), 14, 0);
  auto* cancel = new QPushButton("Cancel", this);
  SetControlId(cancel, 2);
  cancel->setAccessibleName("Cancel");
  connect(cancel, &QPushButton::clicked, this, [this] { OnCancel(); });
  grid->addWidget(cancel, 14, 3);

  connect(families_, &QComboBox::currentIndexChanged, this, [this](int i) { SelectFamily(i); });
  connect(events_, &QListWidget::currentRowChanged, this, [this](int r) { SelectRow(r); });
  connect(tabs_, &QTabBar::currentChanged, this, [this](int t) { SelectLevel(t); });
}

std::vector<uint8_t>* AlarmManageDialog::Image(ActionFamily f) const {
  std::vector<uint8_t>& img = env().link.session().actionTables[PageOf(f)];
  return img.size() == kActionTablePageBytes[PageOf(f)] ? &img : nullptr;
}

bool AlarmManageDialog::FamilyWhole() const {
  if (!family_) return false;
  for (int t = 0; t < family_->tableCount; ++t)
    if (!Image(family_->tables[t])) return false;
  return true;
}

void AlarmManageDialog::Init() {
  {
    const QSignalBlocker quiet(families_);
    families_->clear();
    if (env().ctx.settings.offers.norvaRs232) families_->addItem(kFamilies[0].label);
  }
  family_ = families_->count() > 0 ? &kFamilies[0] : nullptr;
  {
    const QSignalBlocker quiet(cycle_);
    cycle_->clear();
    for (const std::string& t : comboTexts()) cycle_->addItem(QString::fromStdString(t));
  }
  maxEntries_->setText(QString::number(env().ctx.settings.service.maxEventLog));
  level_ = std::clamp(env().ctx.commands.alarmLevelTab, 0, 2);
  {
    const QSignalBlocker quiet(tabs_);
    tabs_->setCurrentIndex(level_);
  }
  SelectFamily(families_->currentIndex());
  ShowReactions();
  PostLog(0, kLogOpened, "");
}

void AlarmManageDialog::SelectFamily(int comboIndex) {
  const QString label = families_->itemText(comboIndex);
  family_ = nullptr;
  for (const AlarmFamily& f : kFamilies)
    if (label == f.label) family_ = &f;
  const QSignalBlocker quiet(events_);
  events_->clear();
  row_ = 0;
  // A family shows only when every table it lists came in whole.
  if (!FamilyWhole()) {
    ShowMessage("MSG1");
    SetUpdatesEnabled(false);
    return;
  }
  for (int t = 0; t < family_->tableCount; ++t) {
    const std::vector<uint8_t>& img = *Image(family_->tables[t]);
    for (size_t off = 0; off + kActionRowSize <= img.size(); off += kActionRowSize)
      events_->addItem(QString::fromStdString(strAt(img, off + kActionTitleOff, kActionTitleSize)));
  }
  events_->setCurrentRow(0);
  SetUpdatesEnabled(true);
  ShowRow();
}

void AlarmManageDialog::SelectRow(int row) {
  if (row < 0 || row == row_) return;
  row_ = row;
  ShowRow();
}

void AlarmManageDialog::ShowRow() {
  const auto place = family_ ? PlaceOfRow(*family_, static_cast<size_t>(row_)) : std::nullopt;
  std::vector<uint8_t>* img = place ? Image(place->table) : nullptr;
  if (!img) return;
  const size_t off = place->row * kActionRowSize;
  const uint8_t level = (*img)[off + kActionLevelOff];
  // A level the tables do not know checks no radio.
  levels_->setExclusive(false);
  for (QAbstractButton* b : levels_->buttons()) b->setChecked(levels_->id(b) == level);
  levels_->setExclusive(true);
  delay_->setText(QString::number(i32At(*img, off + kActionDelayOff)));
}

void AlarmManageDialog::SelectLevel(int level) {
  if (level < 0 || level > 2 || level == level_) return;
  level_ = level;
  env().ctx.commands.alarmLevelTab = level;
  ShowReactions();
}

void AlarmManageDialog::ShowReactions() {
  const ServiceSettings& s = env().ctx.settings.service;
  const uint32_t mask = s.reactionMasks[level_];
  sound_->setChecked(mask & kBitSound);
  interval_->setText(QString::number(s.audioInterval[level_]));
  cycle_->setCurrentIndex(s.audioCycle[level_] != 0 ? 1 : 0);
  broadcast_->setChecked(mask & kBitBroadcast);
  email_->setChecked(mask & kBitEmail);
  sms_->setChecked(mask & kBitSms);
}

void AlarmManageDialog::SetUpdatesEnabled(bool on) { EnableControls({kUpdateEvent, kUpdateReactions}, on); }

void AlarmManageDialog::UpdateEvent() {
  const auto place = family_ ? PlaceOfRow(*family_, static_cast<size_t>(row_)) : std::nullopt;
  std::vector<uint8_t>* img = place ? Image(place->table) : nullptr;
  if (!img) {
    ShowMessage("MSG1");
    return;
  }
  const auto maximum = ParseFieldNumber(maxEntries_->text().toStdString(), kMaxEntriesLargest);
  if (!maximum || static_cast<int32_t>(*maximum) < kEventLogMinLines) {
    env().ctx.ShowLangMessageBox(this, kBadMaxEntries, "", MB_ICONERROR);
    return;
  }
  const auto delay = ParseFieldNumber(delay_->text().toStdString(), kLargest);
  if (!delay) {
    env().ctx.ShowLangMessageBox(this, kBadDelay, "", MB_ICONERROR);
    return;
  }
  // The row's change goes out in a copy of its table; the link's image takes
  // it when the service confirms.
  std::vector<uint8_t> table = *img;
  const size_t off = place->row * kActionRowSize;
  if (levels_->checkedId() >= 0) table[off + kActionLevelOff] = static_cast<uint8_t>(levels_->checkedId());
  putI32(table, off + kActionDelayOff, static_cast<int32_t>(*delay));
  pendingTable_ = std::pair{place->table, std::move(table)};
  if (static_cast<int32_t>(*maximum) != env().ctx.settings.service.maxEventLog) {
    std::array<uint8_t, 4> value{};
    putU32(value, 0, *maximum);
    if (!Send(kLinkCmdEventTables, kSubMaxEntries, kRequestTimeoutMs, value)) {
      pendingTable_.reset();
      ShowMessage("MSG4");
      return;
    }
    pendingMax_ = static_cast<int32_t>(*maximum);
    PostLog(1, kLogMaxEntries, "");
    ShowMessage("MSG5");
    SetUpdatesEnabled(false);
    return;
  }
  SendTable();
}

void AlarmManageDialog::SendTable() {
  if (!pendingTable_) return;
  const int8_t sub = ActionFamilyOf(pendingTable_->first).writeSub;
  if (sub < 0 || !Send(kLinkCmdEventTables, static_cast<uint8_t>(sub), kRequestTimeoutMs, pendingTable_->second)) {
    pendingTable_.reset();
    ShowMessage("MSG4");
    SetUpdatesEnabled(true);
    return;
  }
  ShowMessage("MSG5");
  SetUpdatesEnabled(false);
}

void AlarmManageDialog::UpdateReactions() {
  const auto interval = ParseFieldNumber(interval_->text().toStdString(), kLargest);
  if (!interval || *interval < 1) {
    env().ctx.ShowLangMessageBox(this, kBadInterval, "", MB_ICONERROR);
    return;
  }
  const ServiceSettings& s = env().ctx.settings.service;
  ReactionImage r{s.reactionMasks, s.audioInterval, s.audioCycle};
  uint32_t mask = r.masks[level_] & ~(kBitBroadcast | kBitEmail | kBitSound | kBitSms);
  if (sound_->isChecked()) mask |= kBitSound;
  if (broadcast_->isChecked()) mask |= kBitBroadcast;
  if (email_->isChecked()) mask |= kBitEmail;
  if (sms_->isChecked()) mask |= kBitSms;
  r.masks[level_] = mask;
  r.audioInterval[level_] = static_cast<int32_t>(*interval);
  if (cycle_->currentIndex() >= 0) r.audioCycle[level_] = cycle_->currentIndex();
  std::vector<uint8_t> image(kSettingsImageSize, 0);
  PutReactionImage(image, r);
  if (!Send(kLinkCmdEventTables, kSubReactions, kRequestTimeoutMs, image)) {
    ShowMessage("MSG4");
    SetUpdatesEnabled(true);
    return;
  }
  pendingReactions_ = r;
  PostLog(1, kLogReactions, "");
  ShowMessage("MSG5");
  SetUpdatesEnabled(false);
}

void AlarmManageDialog::OnReply(const ReplyView& reply) {
  const uint8_t sub = request().sub;
  if (sub % 2 == 0) {  // this dialog reads nothing; a read is someone else's
    ShowMessage(reply.success ? "MSG3" : "MSG1");
    return;
  }
  if (!reply.success) {
    pendingMax_.reset();
    pendingTable_.reset();
    pendingReactions_.reset();
    ShowMessage("MSG4");
    SetUpdatesEnabled(FamilyWhole());
    return;
  }
  ShowMessage("MSG6");
  ServiceSettings& s = env().ctx.settings.service;
  if (sub == kSubMaxEntries) {
    if (pendingMax_) s.maxEventLog = *pendingMax_;
    pendingMax_.reset();
    SendTable();
    return;
  }
  if (sub == kSubReactions && pendingReactions_) {
    s.reactionMasks = pendingReactions_->masks;
    s.audioInterval = pendingReactions_->audioInterval;
    s.audioCycle = pendingReactions_->audioCycle;
  } else if (pendingTable_) {
    // The confirmed table: the link's image and the console's levels.
    const auto [f, bytes] = std::move(*pendingTable_);
    if (std::vector<uint8_t>* img = Image(f)) *img = bytes;
    if (auto rows = ActionTableFromWire(f, bytes)) env().ctx.tables.applyActionTables({{f, std::move(*rows)}});
  }
  pendingTable_.reset();
  pendingReactions_.reset();
  SetUpdatesEnabled(FamilyWhole());
}

void AlarmManageDialog::OnTimedOut() {
  pendingMax_.reset();
  pendingTable_.reset();
  pendingReactions_.reset();
  SetUpdatesEnabled(FamilyWhole());
}

void RegisterAlarmManageDialog(ConsoleDialogs& env) {
  env.ctx.dialogs.Register(kAlarmManageResource, [&env](QWidget* owner, intptr_t) {
    AlarmManageDialog d(env, owner);
    return d.Run();
  });
  env.branches.Register(kLinkCmdEventTables, kAlarmManageDialogId, [](DialogBase& d, const ReplyView& r) {
    if (auto* a = dynamic_cast<AlarmManageDialog*>(&d)) a->OnReply(r);
  });
}

}  // namespace lark
