#include "console/dialogs/map_edit/plc_dialog.h"

#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>

#include "console/dialogs/console_dialogs.h"
#include "console/dialogs/dialog_controls.h"
#include "console/dialogs/dialog_numbers.h"
#include "console/link/request_payloads.h"
#include "console/map/map_module.h"
#include "console/shell/console_context.h"
#include "linkserver/link_commands.h"
#include "linkserver/link_replies.h"

namespace lark {

namespace {

constexpr uint8_t kReadPlc = 3, kWritePlc = 4;
constexpr uint32_t kRequestTimeoutMs = 5000;
constexpr int kRowList = 1302, kPointNumEdit = 1060, kBypassEdit = 1059, kBypassUpsList = 1083,
              kPointUpsList = 1084, kSourceEdit = 1093, kSetButton = 3;
// The point's numbers in row order: TPC trip, UCB trip, TPC alarm, UPS alarm.
constexpr int kNumberEdits[4] = {1300, 1310, 1330, 1320};
// The template's labels have no number of their own: each takes its field's
// number plus 1000, which no localiser row names.
constexpr int kLabelOffset = 1000;
constexpr const char* kColumns[] = {" ", "TPC Trip", "UCB Trip", "TPC Alarm", "UPS Alarm", "UPS", "Source"};
constexpr int kColumnWidths[] = {30, 80, 80, 80, 80, 150, 200};

}  // namespace

PlcDialog::PlcDialog(ConsoleDialogs& env, DeviceNode& node, QWidget* owner)
    : DialogBase(env, kPlcResource, kPlcDialogId, owner), node_(node) {
  LoadEditCopy(node_, copy_);
  auto* grid = new QGridLayout(this);
  rows_ = MakeControl<QTableWidget>(this, kRowList, "Points");
  rows_->setColumnCount(static_cast<int>(std::size(kColumns)));
  rows_->setRowCount(kPlcPointCount);
  for (int c = 0; c < rows_->columnCount(); ++c) {
    rows_->setHorizontalHeaderItem(c, new QTableWidgetItem(kColumns[c]));
    rows_->setColumnWidth(c, kColumnWidths[c]);
  }
  rows_->verticalHeader()->hide();
  rows_->setSelectionBehavior(QAbstractItemView::SelectRows);
  rows_->setSelectionMode(QAbstractItemView::SingleSelection);
  rows_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  rows_->setShowGrid(true);
  grid->addWidget(rows_, 0, 0, 1, 4);
  int row = 1;
  const auto label = [&](int fieldId, const char* text, QWidget* field) {
    auto* l = MakeControl<QLabel>(this, fieldId + kLabelOffset, text);
    l->setText(text);
    l->setBuddy(field);
    field->setAccessibleName(QString(text).remove(':'));
    const int column = (row - 1) % 2 * 2;
    grid->addWidget(l, 1 + (row - 1) / 2, column);
    grid->addWidget(field, 1 + (row - 1) / 2, column + 1);
    ++row;
  };
  const auto edit = [&](int id, const char* text, int maxChars) {
    auto* e = MakeControl<QLineEdit>(this, id, text);
    e->setMaxLength(maxChars);
    label(id, text, e);
    return e;
  };
  const auto list = [&](int id, const char* text) {
    auto* c = MakeControl<QComboBox>(this, id, text);
    label(id, text, c);
    return c;
  };
  pointNum_ = edit(kPointNumEdit, "Points:", 5);
  bypass_ = edit(kBypassEdit, "Bypass Contact (X):", 5);
  bypassUps_ = list(kBypassUpsList, "Bypass UPS:");
  pointUps_ = list(kPointUpsList, "UPS:");
  const char* numberTexts[4] = {"TPC Trip (X):", "UCB Trip (X):", "TPC Alarm (Y):", "UPS Alarm (Y):"};
  for (size_t i = 0; i < 4; ++i) numbers_[i] = edit(kNumberEdits[i], numberTexts[i], 5);
  source_ = edit(kSourceEdit, "Source:", static_cast<int>(kPlcSourceChars));
  const int buttons = 2 + row / 2;
  int column = 0;
  for (auto [id, text] : {std::pair{kSetButton, "&Update"}, std::pair{1, "OK"}, std::pair{2, "E&xit"}}) {
    QPushButton* b = MakeButton(this, id, text);
    connect(b, &QPushButton::clicked, this, [this, id] {
      if (id == kSetButton) SetPoint();
      if (id == 1) Ok();
      if (id == 2) OnCancel();
    });
    grid->addWidget(b, buttons, column++);
  }
  connect(rows_, &QTableWidget::currentCellChanged, this, [this](int r) { ShowRow(r); });
}

void PlcDialog::Init() {
  if (!Send(kLinkCmdSetNodeProperties, kReadPlc, kRequestTimeoutMs, IdPayload(node_.idU16()))) {
    ShowMessage("MSG1");
    return;
  }
  ShowMessage("MSG2");
  EnableControls({kSetButton, 1, 2}, false);
}

void PlcDialog::FillChoices(QComboBox* list) {
  list->clear();
  for (const PlcUpsChoice& c : choices_) list->addItem(QString::fromStdString(c.text), c.id);
}

void PlcDialog::ShowRow(int r) {
  if (r < 0 || r >= kPlcPointCount) return;
  const int16_t values[4] = {copy_.plcXtpcTrip(r), copy_.plcXucbTrip(r), copy_.plcYtpcAlarm(r), copy_.plcYupsAlarm(r)};
  for (size_t i = 0; i < 4; ++i) numbers_[i]->setText(QString::number(values[i]));
  pointUps_->setCurrentIndex(static_cast<int>(PlcChoiceOf(choices_, copy_.plcUpsId(r))));
  source_->setText(QString::fromStdString(copy_.plcSource(r)));
}

bool PlcDialog::Refuse(int messageBox) {
  env().ctx.ShowLangMessageBox(this, messageBox, "PLC", MB_ICONEXCLAMATION);
  return false;
}

void PlcDialog::SetPoint() {
  const int r = rows_->currentRow();
  if (r < 0 || r >= kPlcPointCount) return;
  int16_t v[4];
  for (size_t i = 0; i < 4; ++i) {
    const auto n = ParseFieldNumber(numbers_[i]->text().toStdString(), kPlcNumberMax);
    if (!n) {
      Refuse(kPlcNumberOutOfRange);
      return;
    }
    v[i] = static_cast<int16_t>(*n);
  }
  const std::string source = source_->text().toStdString();
  if (HasControlCharacter(source)) {
    Refuse(kControlCharacter);
    return;
  }
  copy_.setPlcXtpcTrip(r, v[0]);
  copy_.setPlcXucbTrip(r, v[1]);
  copy_.setPlcYtpcAlarm(r, v[2]);
  copy_.setPlcYupsAlarm(r, v[3]);
  // "None" leaves the point's UPS as it is.
  if (pointUps_->currentIndex() > 0) copy_.setPlcUpsId(r, static_cast<int16_t>(pointUps_->currentData().toInt()));
  copy_.setPlcSource(r, CutUtf8(source, kPlcSourceChars));
  WriteRow(r);
}

void PlcDialog::WriteRow(int r) {
  const QStringList cells = QString::fromStdString(PlcRowText(copy_, r, choices_)).split('\t');
  for (int c = 0; c < cells.size() && c < rows_->columnCount(); ++c) rows_->setItem(r, c, new QTableWidgetItem(cells[c]));
}

void PlcDialog::Ok() {
  const auto num = ParseFieldNumber(pointNum_->text().toStdString(), kPlcNumberMax);
  const auto bypass = ParseFieldNumber(bypass_->text().toStdString(), kPlcNumberMax);
  if (!num || !bypass) {
    Refuse(kPlcNumberOutOfRange);
    return;
  }
  copy_.setPlcPointNum(static_cast<int16_t>(*num));
  copy_.setPlcXBypass(static_cast<int16_t>(*bypass));
  if (bypassUps_->currentIndex() >= 0) copy_.setPlcBypassUpsId(static_cast<int16_t>(bypassUps_->currentData().toInt()));
  sent_.assign(kPlcSettingsSize, 0);
  WritePlcSettings(copy_, sent_);
  if (!Send(kLinkCmdSetNodeProperties, kWritePlc, kRequestTimeoutMs, IdPayload(node_.idU16(), sent_))) {
    ShowMessage("MSG4");
    return;
  }
  ShowMessage("MSG5");
  EnableControls({kSetButton, 1, 2}, false);
}

void PlcDialog::OnReply(const ReplyView& reply) {
  const bool reading = request().sub == kReadPlc;
  const std::optional<CBytes> record = reading ? PlcRecordOfReply(reply.frame) : std::nullopt;
  if (!reply.success || (reading && !record)) {
    ShowMessage(reading ? "MSG1" : "MSG4");
    ShowLockHolder(reply.frame);
    EnableControls({kSetButton, 1, 2}, true);
    return;
  }
  if (!reading) {
    ReadPlcSettings(node_, sent_);
    done(1);
    return;
  }
  ReadPlcSettings(node_, *record);
  ReadPlcSettings(copy_, *record);
  ConsoleMap* map = env().map;
  choices_ = PlcUpsChoices(env().ctx.tree, map ? &map->endpoints().registry : nullptr, env().endpoints);
  FillChoices(bypassUps_);
  FillChoices(pointUps_);
  pointNum_->setText(QString::number(copy_.plcPointNum()));
  bypass_->setText(QString::number(copy_.plcXBypass()));
  bypassUps_->setCurrentIndex(static_cast<int>(PlcChoiceOf(choices_, copy_.plcBypassUpsId())));
  for (int r = 0; r < kPlcPointCount; ++r) WriteRow(r);
  rows_->setCurrentCell(0, 0);
  ShowRow(0);
  ShowMessage("MSG3");
  EnableControls({kSetButton, 1, 2}, true);
}

void RegisterPlcDialog(ConsoleDialogs& env) {
  env.ctx.dialogs.Register(kPlcResource, [&env](QWidget* owner, intptr_t param) {
    auto* node = reinterpret_cast<DeviceNode*>(param);
    if (!node) return 0;
    PlcDialog d(env, *node, owner);
    return d.Run();
  });
  env.branches.Register(kLinkCmdSetNodeProperties, kPlcDialogId, [](DialogBase& d, const ReplyView& r) {
    if (auto* p = dynamic_cast<PlcDialog*>(&d)) p->OnReply(r);
  });
}

}  // namespace lark
