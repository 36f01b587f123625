// The console's three menus as Qt menus: the main menu bar (File, Object
// with its Move sub-menu, Management, Help), the map pop-up and the
// device-list pop-up. Every item is a QAction carrying its MenuCommandId in
// the property "id"; a triggered item calls the one command handler.
#pragma once
#include <QMenu>
#include <QMenuBar>
#include <functional>
#include <memory>
#include <string>

#include "console/shell/menu_commands.h"

namespace lark {

// The property every menu action and control carries its number in.
inline constexpr const char* kIdProperty = "id";

class ConsoleMenus {
 public:
  using CommandHandler = std::function<void(int id)>;
  // `bar` becomes the parent of the main menus (null: a free-standing bar).
  explicit ConsoleMenus(QMenuBar* bar = nullptr);
  ~ConsoleMenus();

  void setCommandHandler(CommandHandler h) { handler_ = std::move(h); }

  QMenuBar* bar() const { return bar_; }
  QMenu* popup(int resource) const;  // kMenuMapPopup or kMenuListPopup
  // The item of `id` in the resource's menu, or null.
  QAction* item(int resource, int id) const;
  // Top-level menu at `position` of the main bar (0 File .. 3 Help), or the
  // Move sub-menu for position kMoveMenuPosition of the Object menu.
  QMenu* topMenu(int position) const;
  QMenu* moveMenu() const { return move_; }

  // Text of the item (the text after a tab is the accelerator text).
  void setItemText(int resource, int id, const std::string& text);
  void setTopTitle(int position, const std::string& text);
  void setMoveTitle(const std::string& text);
  void setChecked(int id, bool checked);  // main menu and map pop-up

 private:
  QAction* add(QMenu* menu, int resource, int id);
  std::unique_ptr<QMenuBar> ownBar_;
  QMenuBar* bar_;
  QMenu* top_[4] = {};
  QMenu* move_ = nullptr;
  std::unique_ptr<QMenu> mapPopup_;
  std::unique_ptr<QMenu> listPopup_;
  CommandHandler handler_;
};

}  // namespace lark
