#include "console/dialogs/map_edit/alarm_mask_dialog.h"

#include <QGridLayout>
#include <QPushButton>

#include "common/bytes.h"
#include "console/dialogs/console_dialogs.h"
#include "console/dialogs/dialog_controls.h"
#include "console/dialogs/dialog_text_table.h"
#include "console/dialogs/map_edit/node_properties.h"
#include "console/link/request_payloads.h"
#include "console/shell/console_context.h"
#include "linkserver/link_commands.h"

namespace lark {

namespace {

constexpr uint8_t kReadMasks = 5, kWriteMasks = 6;
constexpr uint32_t kRequestTimeoutMs = 5000;
constexpr int kColumns = 3;

// The events of each template, bit 0 first: the templates' own captions,
// shown where the language folder has none ([Dialog-AlarmMask] TRV5200_n
// and SNMP_n, n from 1).
constexpr const char* kTrv5200Events[] = {
    "負載未受保護", "負載不安全", "UPS一般性警告", "UPS在Backup模式", "電池低電位警告", "電池停止供電",
    "靜態開關運作中", "UPS緊急停機", "UPS通風裝置異常", "UPS不在On-Line模式", "維護旁路開關Open",
    "電池壽命已到達", "靜態開關異常", "維護電腦連線中", "整流器電壓異常", "電池迴路開關Open", "整流器-關",
    "輸入1開關Open", "輸入1電壓異常", "輸入1頻率異常", "主要同步錯誤", "通訊介面測試錯誤", "輸入2超載",
    "輸入2過溫", "輸入2頻率異常", "輸入2電壓異常", "PLC警告", "輸入2開關Open", "旁路頻率不同步",
    "輸出開關Open", "整流器異常", "電池充電中", "逆流器異常", "逆流器過載", "逆流器過溫", "輸出電流超載",
    "UPS通訊離線"};
constexpr const char* kSnmpEvents[] = {
    "UPS通訊失敗", "市電中斷", "電池低電壓", "負載警告", "負載嚴重", "旁路供電", "UPS異常", "電池錯誤",
    "測試進行中", "電池測試失敗", "保險絲異常", "過載", "過電流", "逆流器異常", "整流器異常", "備用電源異常",
    "備用電源供電", "過溫", "輸出異常", "旁路異常", "UPS關機", "充電器異常", "風扇異常", "經濟模式",
    "輸出關閉", "智能關機", "緊急停機", "UPS關機", "SNMP通訊離線", "SensorBox偵測過溫",
    "SensorBox偵測溼度異常", "SensorBox接點1(保全)警告", "SensorBox接點2(液位)警告",
    "SensorBox接點3(火警)警告", "SensorBox接點4(煙霧)警告", "電池須更換"};
static_assert(std::size(kTrv5200Events) == 37 && std::size(kSnmpEvents) == 36);

}  // namespace

AlarmMaskDialog::AlarmMaskDialog(ConsoleDialogs& env, int resource, DeviceNode& node, QWidget* owner)
    : DialogBase(env, resource, kAlarmMaskDialogId, owner), node_(node), read_(NodeMaskWords(node)) {
  auto* grid = new QGridLayout(this);
  const bool snmp = resource == kAlarmMaskSnmpResource;
  const size_t n = snmp ? std::size(kSnmpEvents) : std::size(kTrv5200Events);
  const Profile lang = env.ctx.languageProfile();
  for (size_t i = 0; i < n; ++i) {
    const std::string key = (snmp ? "SNMP_" : "TRV5200_") + std::to_string(i + 1);
    std::string text(CutUtf8(lang.getString("Dialog-AlarmMask", key, "", 1024), kDialogTextMax));
    if (text.empty()) text = snmp ? kSnmpEvents[i] : kTrv5200Events[i];
    auto* box = MakeControl<QCheckBox>(this, kFirstMaskBox + static_cast<int>(i), text);
    box->setText(QString::fromStdString(text));
    boxes_.push_back(box);
    grid->addWidget(box, static_cast<int>(i) / kColumns, static_cast<int>(i) % kColumns);
  }
  const int row = static_cast<int>(n) / kColumns + 1;
  for (int id : {1, 2}) {
    QPushButton* b = MakeButton(this, id, EnglishText(resource, id));
    connect(b, &QPushButton::clicked, this, [this, id] { id == 1 ? Ok() : OnCancel(); });
    grid->addWidget(b, row, id - 1);
  }
}

void AlarmMaskDialog::Init() {
  if (!Send(kLinkCmdSetNodeProperties, kReadMasks, kRequestTimeoutMs, IdPayload(node_.idU16()))) {
    ShowMessage("MSG1");
    return;
  }
  ShowMessage("MSG2");
  EnableControls({1, 2}, false);
}

uint64_t AlarmMaskDialog::CheckedMask() const {
  uint64_t mask = read_;
  for (size_t i = 0; i < boxes_.size(); ++i) {
    const uint64_t bit = uint64_t{1} << i;
    mask = boxes_[i]->isChecked() ? (mask | bit) : (mask & ~bit);
  }
  return mask;
}

void AlarmMaskDialog::Ok() {
  sent_ = CheckedMask();
  uint8_t words[8];
  PutMaskWords(sent_, Bytes(words, sizeof words));
  if (!Send(kLinkCmdSetNodeProperties, kWriteMasks, kRequestTimeoutMs,
            IdPayload(node_.idU16(), CBytes(words, sizeof words)))) {
    ShowMessage("MSG4");
    return;
  }
  ShowMessage("MSG5");
  EnableControls({1, 2}, false);
}

void AlarmMaskDialog::OnReply(const ReplyView& reply) {
  const bool reading = request().sub == kReadMasks;
  const std::optional<uint64_t> mask = reading ? MaskOfReply(reply.frame) : std::nullopt;
  if (!reply.success || (reading && !mask)) {
    ShowMessage(reading ? "MSG1" : "MSG4");
    ShowLockHolder(reply.frame);
    EnableControls({1, 2}, true);
    return;
  }
  if (!reading) {
    SetNodeMaskWords(node_, sent_);
    done(1);
    return;
  }
  read_ = *mask;
  SetNodeMaskWords(node_, read_);
  for (size_t i = 0; i < boxes_.size(); ++i) boxes_[i]->setChecked((read_ >> i) & 1);
  ShowMessage("MSG3");
  EnableControls({1, 2}, true);
}

void RegisterAlarmMaskDialogs(ConsoleDialogs& env) {
  for (int resource : {kAlarmMaskLocalResource, kAlarmMaskSnmpResource}) {
    env.ctx.dialogs.Register(resource, [&env, resource](QWidget* owner, intptr_t param) {
      auto* node = reinterpret_cast<DeviceNode*>(param);
      if (!node) return 0;
      AlarmMaskDialog d(env, resource, *node, owner);
      return d.Run();
    });
  }
  env.branches.Register(kLinkCmdSetNodeProperties, kAlarmMaskDialogId, [](DialogBase& d, const ReplyView& r) {
    if (auto* m = dynamic_cast<AlarmMaskDialog*>(&d)) m->OnReply(r);
  });
}

}  // namespace lark
