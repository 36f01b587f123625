// The places where the console link, the lists, the map, the detail tabs and
// the menu rights plug into start-up, the timers, the window's messages and
// shutdown. Each is empty until its subsystem fills it; the shell calls them
// in the order the window's steps give.
#pragma once
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

class QTableView;
class QWidget;

namespace lark {

class Canvas;
class LarkviewWindow;
class DeviceNode;

struct ConsoleCallPoints {
  // Console link and its alarm actions.
  std::function<void()> resetSoundCounters;     // start-up
  std::function<void()> clearMailSlots;         // start-up
  std::function<void()> initMailLock;           // start-up
  std::function<void()> resetStatusSharedMemory;
  std::function<void()> initLinkQueues;
  std::function<void()> resetLinkState;
  std::function<void()> initServiceLink;
  std::function<void()> startWinsock;           // and the discovery socket
  std::function<void(bool)> setAutoConnect;
  std::function<void()> linkSecondSteps;        // timer 1025 steps 2-4
  std::function<void()> decrementSoundCounters; // timer 1025 step 6
  std::function<void()> alarmChecks;            // timer 1025 step 9, every second tick
  // monitor.ini's notification items changed: the mail slots follow them.
  std::function<void()> rebindMonitorRecipients;
  std::function<void(int)> pumpLinkQueue;       // 2 (timer 1028), 3 (1029), 5 (1031)
  std::function<void()> linkTick;               // timer 1033
  std::function<void()> freePendingReportMail;  // destroy
  std::function<void()> switchScreenSaverOff;   // an alarm popup line, before it shows
  std::function<void(const std::string&)> postProgramEnd;  // destroy: the operation log
  std::function<void()> closeLink;              // destroy: queues, link, discovery socket
  std::function<void()> closeDeviceEndpoints;   // shutdown
  std::function<void()> closeStatusSharedMemory;
  // Group and device lists.
  std::function<void()> fillLists;              // after creation
  std::function<void()> refreshLists;           // timer 1025 step 5
  std::function<void()> readColumnWidths;       // exit and destroy
  std::function<void()> listTimer;              // device list 1025
  std::function<void()> groupListTimer;         // group list 1025
  std::function<void(int)> setGroupColumnWidth; // splitter 3
  std::function<void(DeviceNode*)> fillGroupList;         // none: the root selected
  std::function<void(DeviceNode*, bool)> fillDeviceList;  // group, select row 0
  std::function<void(DeviceNode*)> selectDeviceRow;       // the row holding the node
  std::function<DeviceNode*()> selectedDevice;            // GetSelectedDevice
  std::function<void(std::FILE*)> refreshDeviceRows;      // with a file: the export
  std::function<void()> retitleDeviceColumns;             // column choice or language changed; both lists
  // Map steps the list selections run.
  std::function<void(DeviceNode*)> setMapGroup;       // the map's current group
  std::function<void()> clearMapSelection;
  std::function<void(DeviceNode*)> loadGroupPicture;  // the group's picture, or none
  std::function<void(DeviceNode*)> selectMapNode;     // SelectNode
  std::function<void()> repaintMap;
  // Map.
  std::function<void()> openConsoleMap;         // creation: a new, untitled map
  std::function<void()> mapTimer;               // map window 1025 (blinking)
  std::function<void()> enterSelectedGroup;     // Enter on the map
  std::function<bool()> saveMapDialog;          // exit with a dirty map
  std::function<void()> freePictures;           // shutdown
  std::function<QWidget*(LarkviewWindow&)> createMapWindow;  // creation; null: a bare window
  std::function<QTableView*(QWidget* parent)> createListView;  // the two lists; null: a plain table
  std::function<void()> updateAlarmLevels;      // timer 1025, every second tick, before the alarm checks
  std::function<void(const std::string&)> openMapFile;  // a map downloaded into Monitor/
  std::function<DeviceNode*()> mapCurrentGroup;     // the group the map shows
  std::function<DeviceNode*()> mapSelectedNode;     // its selected child, or null
  std::function<std::string(const DeviceNode&)> nodePath;       // NodePath
  std::function<uint64_t(const DeviceNode&)> nodeSupportMask;   // NodeSupportMask
  std::function<bool(const DeviceNode&)> isInverterOrSensor;
  // Detail tabs, schedules, rights.
  std::function<void()> createDetailTabs;       // start-up, before the control is shown
  std::function<void()> rebuildDetailTabs;      // enable flags or language changed
  std::function<void(int full)> refreshDetailTabs;
  std::function<bool(int slot)> isSelectedTab;  // the slot's item is the selected one
  std::function<void(DeviceNode*)> paintPropertyPane;
  // Painters of pages 1 and 2; the Module painter says whether its layout
  // changed (the main window then repaints in full).
  std::function<void(Canvas&, DeviceNode&, bool full)> paintDiagramTab;
  std::function<bool(Canvas&, DeviceNode&, bool full)> paintModuleTab;
  // The settings dialogs living on pages 3, 4 and 5, made once on their page.
  std::function<QWidget*(QWidget* page)> createScheduleTab;
  std::function<QWidget*(QWidget* page)> createConfigTab;
  std::function<QWidget*(QWidget* page)> createDryContactTab;
  std::function<void()> findNextScheduledActions;
  std::function<void(int level)> updateMenuRights;
  // The configuration download's reload: the console's settings, texts and
  // tables from Monitor/, by the dialogs.
  std::function<void()> reloadConsoleTables;
  // Dialogs that are no modal dialog of the registry.
  std::function<void(QWidget* owner, int page)> openNotificationSheet;  // 40041
  std::function<void()> exportDeviceList;                               // 40083
};

// Calls `f` when it is set.
template <typename F, typename... A>
void CallPoint(const F& f, A&&... args) {
  if (f) f(std::forward<A>(args)...);
}

}  // namespace lark
