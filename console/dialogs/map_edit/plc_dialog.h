// The PLC dialog 234 (OpenDialogId 23) over the local property dialog of a
// Modbus ASCII PLC: its 32 transfer points. Opening reads the point table
// (14/3) into the console's node; the points are edited in a copy, and OK
// writes the copy (14/4), which the node takes when the service confirms.
// The UPS of a point is chosen from a list that carries each UPS's id.
#pragma once
#include <QComboBox>
#include <QLineEdit>
#include <QTableWidget>
#include <array>
#include <vector>

#include "console/dialogs/dialog_base.h"
#include "console/dialogs/map_edit/node_properties.h"
#include "console/dialogs/reply_timer.h"

namespace lark {

inline constexpr int kPlcResource = 234;
inline constexpr uint32_t kPlcDialogId = 23;

class PlcDialog : public DialogBase {
 public:
  PlcDialog(ConsoleDialogs& env, DeviceNode& node, QWidget* owner);

  void Init() override;
  // Button 3: the edits into the selected point of the copy.
  void SetPoint();
  void Ok();
  void OnReply(const ReplyView& reply);
  const DeviceNode& edited() const { return copy_; }
  const std::vector<PlcUpsChoice>& choices() const { return choices_; }

 private:
  void FillChoices(QComboBox* list);
  void ShowRow(int row);
  void WriteRow(int row);  // the list's row of a point of the copy
  // A refusal shown: a number outside 0..32767 or a source with a control character.
  bool Refuse(int messageBox);
  DeviceNode& node_;
  DeviceNode copy_;
  std::vector<PlcUpsChoice> choices_;
  std::vector<uint8_t> sent_;  // the table of the write
  QTableWidget* rows_ = nullptr;
  QLineEdit *pointNum_ = nullptr, *bypass_ = nullptr, *source_ = nullptr;
  std::array<QLineEdit*, 4> numbers_{};  // TPC trip, UCB trip, TPC alarm, UPS alarm
  QComboBox *bypassUps_ = nullptr, *pointUps_ = nullptr;
};

void RegisterPlcDialog(ConsoleDialogs& env);

}  // namespace lark
