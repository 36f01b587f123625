#include "console/shell/menu_rights.h"

#include <QAction>
#include <QMenu>
#include <span>

#include "console/shell/console_menus.h"
#include "console/shell/menu_commands.h"

namespace lark {

namespace {

using R = RightsRule;

struct RightsRow {
  int id;
  R rule;
};

constexpr RightsRow kMainRows[] = {
    {IDM_NEW, R::kR1},
    {IDM_OPEN, R::kR1},
    {IDM_AUTO_LOAD, R::kR1},
    {IDM_SAVE, R::kR2},
    {IDM_RENAME_AS, R::kR2},
    {IDM_GENERATE_REPORT, R::kR3},
    {IDM_DATABASE, R::kR4},
    {IDM_LOGIN, R::kR5},
    {IDM_CHANGE_PASSWORD, R::kR6},
    {IDM_ACCESS_MANAGEMENT, R::kR7},
    {IDM_ADD_GROUP, R::kR2},
    {IDM_ADD_SNMP, R::kR2},
    {IDM_PROPERTY, R::kR2},
    {IDM_BACKGROUND, R::kR2},
    {IDM_LOCK_OBJECT, R::kR2},
    {IDM_CUT, R::kR2},
    {IDM_PASTE, R::kR2},
    {IDM_DELETE, R::kR2},
    {IDM_DELETE_ALL, R::kR2},
    {IDM_CONNECTION, R::kR2},
    {IDM_LIST_TAB_SELECTION, R::kR2},
    {IDM_NOTIFICATION, R::kR2},
    {IDM_CONTACTORS, R::kR2},
    {IDM_NOTIFY_BY_SERVICE, R::kR2},
    {IDM_NOTIFY_BY_MONITOR, R::kR2},
    {IDM_ALARM_MANAGEMENT, R::kR2},
    {IDM_HISTORY_MANAGEMENT, R::kR2},
    {IDM_PAUSE_REACTION, R::kR2},
    {IDM_ALL_EVENT_LOG, R::kR3},
    {IDM_SELECTED_EVENT_LOG, R::kR3},
    {IDM_HISTORICAL_PARAMETERS, R::kR3},
    {IDM_DOWNLOAD_UPS_LOG, R::kR3},
    {IDM_CONTROL, R::kR2},
    {IDM_BATCH_CONFIGURATION, R::kR2},
    {IDM_CONTROL_PASSWORD_SETUP, R::kR8},
};

constexpr RightsRow kMapPopupRows[] = {
    {IDM_LOCK_OBJECT, R::kR2},        {IDM_ADD_GROUP, R::kR2},          {IDM_ADD_SNMP, R::kR2},
    {IDM_DELETE, R::kR2},             {IDM_PROPERTY, R::kR2},           {IDM_ALL_EVENT_LOG, R::kR3},
    {IDM_SELECTED_EVENT_LOG, R::kR3}, {IDM_HISTORICAL_PARAMETERS, R::kR3}, {IDM_CONTROL, R::kR2},
    {IDM_DOWNLOAD_UPS_LOG, R::kR3},
};

constexpr RightsRow kListPopupRows[] = {
    {IDM_DELETE, R::kR2},          {IDM_PROPERTY, R::kR2},      {IDM_ALL_EVENT_LOG, R::kR3},
    {IDM_SELECTED_EVENT_LOG, R::kR3}, {IDM_HISTORICAL_PARAMETERS, R::kR3}, {IDM_LIST_TAB_SELECTION, R::kR2},
    {IDM_CONTROL, R::kR2},         {IDM_DOWNLOAD_UPS_LOG, R::kR3},
};

void Remove(ConsoleMenus& menus, int resource, int id) {
  QAction* a = menus.item(resource, id);
  if (auto* m = a ? qobject_cast<QMenu*>(a->parent()) : nullptr) m->removeAction(a);
}

}  // namespace

bool RuleAllows(RightsRule rule, int L, int P, bool A) {
  switch (rule) {
    case R::kR1: return L == 2 && P >= 3;
    case R::kR2: return L == 2 && P >= 7;
    case R::kR3: return (L == 2 || L == 3) && P >= 7;
    case R::kR4: return P >= 7;
    case R::kR5: return A && P >= 4;
    case R::kR6: return P >= 7 && A && L != 0;
    case R::kR7: return L == 1 && P >= 7;
    case R::kR8: return P >= 7 && !A;
  }
  return false;
}

void UpdateMenuRights(ConsoleMenus& menus, int level, int phase, bool accountsInUse) {
  const auto apply = [&](int resource, std::span<const RightsRow> rows) {
    for (const RightsRow& r : rows)
      if (QAction* a = menus.item(resource, r.id)) a->setEnabled(RuleAllows(r.rule, level, phase, accountsInUse));
  };
  apply(kMenuMain, kMainRows);
  apply(kMenuMapPopup, kMapPopupRows);
  apply(kMenuListPopup, kListPopupRows);
  for (int resource : {kMenuMain, kMenuMapPopup})
    for (int id : {IDM_ADD_LOCAL, IDM_ADD_GPRS}) Remove(menus, resource, id);
}

}  // namespace lark
