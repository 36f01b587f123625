#include "console/shell/console_menus.h"

#include <QAction>
#include <initializer_list>
#include <vector>

namespace lark {
namespace {

constexpr int kSeparator = 0;

QString Q(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

ConsoleMenus::ConsoleMenus(QMenuBar* bar)
    : ownBar_(bar ? nullptr : new QMenuBar), bar_(bar ? bar : ownBar_.get()),
      mapPopup_(new QMenu), listPopup_(new QMenu) {
  for (int i = 0; i < 4; ++i) top_[i] = bar_->addMenu(QString());
  auto fill = [&](QMenu* m, int resource, std::initializer_list<int> ids) {
    for (int id : ids) {
      if (id == kSeparator)
        m->addSeparator();
      else
        add(m, resource, id);
    }
  };
  fill(top_[0], kMenuMain,
       {IDM_CONNECT_TO_SERVER, IDM_NEW, IDM_OPEN, IDM_AUTO_LOAD, IDM_SAVE, IDM_RENAME_AS, kSeparator,
        IDM_GENERATE_REPORT, IDM_DATABASE, kSeparator, IDM_LOGIN, IDM_CHANGE_PASSWORD,
        IDM_ACCESS_MANAGEMENT, kSeparator, IDM_EXIT});
  fill(top_[1], kMenuMain,
       {IDM_ADD_GROUP, IDM_ADD_SNMP, IDM_ADD_LOCAL, IDM_ADD_GPRS, IDM_PROPERTY, IDM_BACKGROUND,
        IDM_LOCK_OBJECT});
  move_ = top_[1]->addMenu(QString());  // position 7 of the Object menu
  fill(move_, kMenuMain, {IDM_MOVE_UP, IDM_MOVE_DOWN, IDM_NEXT_OBJECT, IDM_PREVIOUS_OBJECT});
  fill(top_[1], kMenuMain, {IDM_CUT, IDM_PASTE, IDM_DELETE, IDM_DELETE_ALL});
  fill(top_[2], kMenuMain,
       {IDM_CONNECTION, IDM_LIST_TAB_SELECTION, IDM_ALARM_MANAGEMENT, IDM_HISTORY_MANAGEMENT,
        IDM_PAUSE_REACTION, IDM_CONTACTORS, IDM_NOTIFY_BY_SERVICE, IDM_NOTIFY_BY_MONITOR, kSeparator,
        IDM_ALL_EVENT_LOG, IDM_SELECTED_EVENT_LOG, IDM_HISTORICAL_PARAMETERS, IDM_DOWNLOAD_UPS_LOG,
        IDM_CONTROL, IDM_BATCH_CONFIGURATION, IDM_CONTROL_PASSWORD_SETUP});
  fill(top_[3], kMenuMain,
       {IDM_ABOUT, IDM_LANGUAGE, IDM_SAVE_SERIAL_DATA, IDM_SAVE_NETWORK_DATA, IDM_SYNC_IMAGES,
        IDM_EXPORT_LIST});
  fill(mapPopup_.get(), kMenuMapPopup,
       {IDM_MOVE_UP, IDM_MOVE_DOWN, IDM_NEXT_OBJECT, IDM_PREVIOUS_OBJECT, kSeparator,
        IDM_LOCK_OBJECT, kSeparator, IDM_ADD_GROUP, IDM_ADD_SNMP, IDM_ADD_LOCAL, IDM_ADD_GPRS,
        IDM_DELETE, IDM_PROPERTY, kSeparator, IDM_ALL_EVENT_LOG, IDM_SELECTED_EVENT_LOG,
        IDM_HISTORICAL_PARAMETERS, IDM_CONTROL, IDM_DOWNLOAD_UPS_LOG});
  fill(listPopup_.get(), kMenuListPopup,
       {IDM_DELETE, IDM_PROPERTY, kSeparator, IDM_ALL_EVENT_LOG, IDM_SELECTED_EVENT_LOG,
        IDM_HISTORICAL_PARAMETERS, IDM_LIST_TAB_SELECTION, IDM_CONTROL, IDM_DOWNLOAD_UPS_LOG});
  for (int id : {IDM_LOCK_OBJECT, IDM_SAVE_NETWORK_DATA}) {
    if (QAction* a = item(kMenuMain, id)) a->setCheckable(true);
  }
  if (QAction* a = item(kMenuMapPopup, IDM_LOCK_OBJECT)) a->setCheckable(true);
}

ConsoleMenus::~ConsoleMenus() = default;

QAction* ConsoleMenus::add(QMenu* menu, int resource, int id) {
  QAction* a = menu->addAction(QString());
  a->setProperty(kIdProperty, id);
  a->setProperty("resource", resource);
  QObject::connect(a, &QAction::triggered, [this, id] {
    if (handler_) handler_(id);
  });
  return a;
}

QMenu* ConsoleMenus::popup(int resource) const {
  if (resource == kMenuMapPopup) return mapPopup_.get();
  if (resource == kMenuListPopup) return listPopup_.get();
  return nullptr;
}

QMenu* ConsoleMenus::topMenu(int position) const {
  return position >= 0 && position < 4 ? top_[position] : nullptr;
}

QAction* ConsoleMenus::item(int resource, int id) const {
  std::vector<QMenu*> menus{top_[0], top_[1], move_, top_[2], top_[3]};
  if (resource != kMenuMain) menus = {popup(resource)};
  for (QMenu* m : menus) {
    if (m == nullptr) continue;
    for (QAction* a : m->actions())
      if (a->property(kIdProperty).toInt() == id) return a;
  }
  return nullptr;
}

void ConsoleMenus::setItemText(int resource, int id, const std::string& text) {
  if (QAction* a = item(resource, id)) a->setText(Q(text));
}

void ConsoleMenus::setTopTitle(int position, const std::string& text) {
  if (QMenu* m = topMenu(position)) m->setTitle(Q(text));
}

void ConsoleMenus::setMoveTitle(const std::string& text) { move_->setTitle(Q(text)); }

void ConsoleMenus::setChecked(int id, bool checked) {
  for (int resource : {kMenuMain, kMenuMapPopup}) {
    if (QAction* a = item(resource, id)) a->setChecked(checked);
  }
}

}  // namespace lark
