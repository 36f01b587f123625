// The tray icon on Qt: QSystemTrayIcon with our own 16 x 16 pictures and a
// menu whose actions carry their command ids.
#pragma once
#include <QIcon>
#include <QMenu>
#include <QSystemTrayIcon>
#include <array>
#include <functional>

#include "tray/tray_model.h"

namespace lark {

class QtTrayView : public TrayIconView {
 public:
  // `onCommand` gets the id of a chosen menu item (a double click is 40001).
  explicit QtTrayView(std::function<void(int)> onCommand);

  bool areaAvailable() override;
  void addIcon() override;
  void showIcon(TrayState state, const std::string& tip) override;
  void removeIcon() override;
  void setMenuText(int command, const std::string& text) override;

 private:
  QMenu menu_;
  QSystemTrayIcon icon_;
  std::array<QIcon, 3> pictures_;  // alive, on hold, no service
};

// The picture of a state, drawn here rather than loaded from a file.
QIcon TrayStateIcon(TrayState state);

}  // namespace lark
