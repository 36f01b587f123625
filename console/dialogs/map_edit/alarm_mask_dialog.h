// The Alarm Mask dialogs (OpenDialogId 35) over a device's property dialog:
// 166 for a TRV5200 Modbus UPS (37 events), 168 for an SNMP UPS of the
// maker's MIB (36 events). A checked box keeps its event out of the alarms;
// the boxes take their captions from the language folder.
// Opening reads the four mask words (14/5) into the console's node; OK writes
// the boxes (14/6), bits past the boxes as read, and the node takes them when
// the service confirms.
#pragma once
#include <QCheckBox>
#include <vector>

#include "console/dialogs/dialog_base.h"
#include "console/dialogs/reply_timer.h"
#include "core/device_tree.h"

namespace lark {

inline constexpr int kAlarmMaskLocalResource = 166, kAlarmMaskSnmpResource = 168;
inline constexpr uint32_t kAlarmMaskDialogId = 35;
inline constexpr int kFirstMaskBox = 1320;

class AlarmMaskDialog : public DialogBase {
 public:
  AlarmMaskDialog(ConsoleDialogs& env, int resource, DeviceNode& node, QWidget* owner);

  void Init() override;
  void Ok();
  void OnReply(const ReplyView& reply);
  // The mask the boxes give over the one read.
  uint64_t CheckedMask() const;
  int boxCount() const { return static_cast<int>(boxes_.size()); }

 private:
  DeviceNode& node_;
  std::vector<QCheckBox*> boxes_;  // bit i: box 1320 + i
  uint64_t read_ = 0;              // as the service gave it
  uint64_t sent_ = 0;
};

void RegisterAlarmMaskDialogs(ConsoleDialogs& env);

}  // namespace lark
