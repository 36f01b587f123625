// List/Tab Selection (239): which column each of the device list's nine
// chosen columns shows, and which of the six detail tabs exist. OK stores
// both in monitor.ini and rebuilds the list header and the tab control.
#pragma once
#include <array>

#include "console/dialogs/dialog_base.h"

class QCheckBox;
class QComboBox;

namespace lark {

inline constexpr int kListTabResource = 239;

class ListTabDialog : public DialogBase {
 public:
  ListTabDialog(ConsoleDialogs& env, QWidget* owner);
  void Ok();
  void Init() override;  // the opening steps; tests run them without the modal loop

 private:
  std::array<QComboBox*, 9> columns_;  // 1185..1193: list columns 1..9
  std::array<QCheckBox*, 6> tabs_;     // 1270..1275
};

void RegisterListTabDialog(ConsoleDialogs& env);

}  // namespace lark
