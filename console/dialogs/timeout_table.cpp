// Time-out reactions, tested in order: the rows for an OpenDialogId first,
// then the rows by pending command. Where the reply handler's old table and
// a dialog's own rules differ, the dialog's rules hold: the Event Log stays
// open, Open UMF greys Open, Auto-Load UMF tells the failure and gives its
// buttons back but leaves a running session alone (a load-failed link state
// would empty the map and stop the polls), and the GPRS property dialog
// closes as the other property dialogs do.
#include "console/dialogs/timeout_table.h"

#include "console/dialogs/console_dialogs.h"
#include "console/dialogs/dialog_base.h"
#include "console/link/service_link.h"

namespace lark {

namespace {

using W = TimeoutWhen;
using A = TimeoutAfter;

constexpr TimeoutKey Always(const char* key) { return {W::kAlways, 0, key}; }
constexpr TimeoutKey Sub(uint8_t sub, const char* key) { return {W::kSubIs, sub, key}; }

constexpr TimeoutRow kRows[] = {
    // By OpenDialogId.
    // Only the steps after Open move the link: the map list leaves the session alone.
    {0, {2}, "Dialog-OpenUMF", {Always("MSG1")}, A::kButtons, {2}, false, 1},
    {0, {}, "Dialog-OpenUMF", {Always("MSG1")}, A::kButtons, {2}, true, 1},
    {1, {}, "Dialog-AutoLoadConfig", {TimeoutKey{W::kCommandIs, 4, "MSG2"}, Always("MSG4")}, A::kButtons, {1, 2}, true, 0},
    {23, {}, "Dialog-PLC", {Sub(3, "MSG1"), Sub(4, "MSG4")}, A::kButtons, {3, 1, 2}, false, 0},
    {35, {}, "Dialog-AlarmMask", {Sub(5, "MSG1"), Sub(6, "MSG4")}, A::kButtons, {1, 2}, false, 0},
    {25, {}, "Dialog-ProGroup", {Always("MSG1")}, A::kClose, {}, false, 0},
    {26, {}, "Dialog-ProSNMP", {Always("MSG1")}, A::kClose, {}, false, 0},
    {24, {}, "Dialog-ProLocal", {Always("MSG1")}, A::kClose, {}, false, 0},
    {36, {}, "Dialog-ProGPRS", {Always("MSG1")}, A::kClose, {}, false, 0},
    {27, {}, "Dialog-EventLog", {Always("MSG1")}, A::kNothing, {}, false, 0},
    {34, {}, "Dialog-UPS Event Log", {Always("MSG1")}, A::kClose, {}, false, 0},
    {28, {}, "Dialog-LoginControl", {Always("MSG1")}, A::kButtons, {1, 2}, false, 0},
    {29, {}, "Dialog-LoginControl", {Always("MSG1")}, A::kButtons, {1, 2}, false, 0},
    {30, {}, "Dialog-LogoutDatabase", {Always("MSG1")}, A::kClose, {}, false, 0},
    {31, {}, "Dialog-Database", {Sub(1, "MSG1"), Sub(6, "MSG1"), Sub(9, "MSG4"), Sub(10, "MSG7")}, A::kNothing, {}, false, 0},
    {32, {}, "Dialog-Access Management", {Always("MSG13")}, A::kButtons, {102, 103, 1109}, false, 0},
    {33, {}, "Dialog-Database", {Sub(1, "MSG1")}, A::kButtons, {1, 2}, false, 0},
    {17, {}, "Dialog-Language", {Always("MSG1")}, A::kNothing, {}, false, 0},
    {22, {}, "Dialog-Control", {Always("MSG1")}, A::kButtons, {1046, 1047, 1048}, false, 0},
    // By the pending command.
    {-1, {8}, "Dialog-SaveUMF", {Always("MSG1")}, A::kButtons, {1, 2}, false, 0},
    {-1, {9}, "Dialog-NewUMF", {Always("MSG2")}, A::kButtons, {1, 2}, false, 0},
    {-1, {10}, "Dialog-OpenUMF", {Always("MSG1")}, A::kButtons, {1, 2}, false, 0},
    {-1, {13}, "Dialog-AddObject", {Always("MSG2")}, A::kClose, {}, false, 0},
    {-1, {15, 32}, "Dialog-Background", {Always("MSG1")}, A::kClose, {}, false, 0},
    {-1, {16}, "Dialog-CutObject", {Always("MSG2")}, A::kClose, {}, false, 0},
    {-1, {17}, "Dialog-PasteObject", {Always("MSG2")}, A::kClose, {}, false, 0},
    {9, {18}, "Dialog-RemoveObject", {Always("MSG2")}, A::kClose, {}, false, 0},
    {-1, {18}, "Dialog-RemoveAllObject", {Always("MSG2")}, A::kClose, {}, false, 0},
    {-1, {19}, "Dialog-Connection", {Always("MSG1")}, A::kButtons, {1, 2}, false, 0},
    {-1, {21}, "Dialog-AlarmManage", {TimeoutKey{W::kSubEven, 0, "MSG1"}, TimeoutKey{W::kSubOdd, 0, "MSG4"}}, A::kNothing, {}, false, 0},
    {13, {22}, "Dialog-ParaManage", {Always("MSG1")}, A::kButtons, {1, 2}, false, 0},
    {-1, {22}, "Dialog-Generate Report", {Always("MSG1")}, A::kClose, {}, false, 0},
    {-1, {23}, "Dialog-StopAll", {Always("MSG1")}, A::kClose, {}, false, 0},
    {20, {24}, "Dialog-Control", {Always("MSG4")}, A::kNothing, {}, false, 0},
    {21, {24}, "Dialog-ControlPasswprd", {Always("MSG1")}, A::kButtons, {1, 2}, false, 0},
    {-1, {25}, "Dialog-SetSavePolling", {Always("MSG1")}, A::kClose, {}, false, 0},
    {-1, {31}, "Dialog-SyncImages", {Always("MSG2")}, A::kClose, {}, false, 0},
};

bool Matches(const TimeoutRow& r, std::optional<uint32_t> id, uint8_t command) {
  if (r.id >= 0 && (!id || *id != static_cast<uint32_t>(r.id))) return false;
  if (r.commands[0] == 0) return r.id >= 0;
  return command == r.commands[0] || (r.commands[1] != 0 && command == r.commands[1]);
}

}  // namespace

std::span<const TimeoutRow> TimeoutTable() { return kRows; }

const TimeoutRow* FindTimeoutRow(std::optional<uint32_t> openDialogId, uint8_t command, uint8_t /*sub*/) {
  for (const TimeoutRow& r : kRows)
    if (Matches(r, openDialogId, command)) return &r;
  return nullptr;
}

const char* TimeoutMessageKey(const TimeoutRow& row, uint8_t command, uint8_t sub) {
  if (!row.section) return nullptr;
  for (const TimeoutKey& k : row.keys) {
    if (!k.key) break;
    switch (k.when) {
      case W::kAlways: return k.key;
      case W::kCommandIs: if (command == k.value) return k.key; break;
      case W::kSubIs: if (sub == k.value) return k.key; break;
      case W::kSubEven: if (sub % 2 == 0) return k.key; break;
      case W::kSubOdd: if (sub % 2 == 1) return k.key; break;
    }
  }
  return nullptr;
}

void RunTimeoutReaction(DialogBase& d) {
  const DialogBase::Request& req = d.request();
  const TimeoutRow* row = FindTimeoutRow(d.openDialogId(), req.command, req.sub);
  if (!row) return;
  if (row->linkLoadFailed) d.env().link.requestState(4, 3);
  if (const char* key = TimeoutMessageKey(*row, req.command, req.sub)) d.ShowMessage(row->section, key);
  switch (row->after) {
    case A::kNothing: break;
    case A::kButtons:
      for (int16_t b : row->buttons)
        if (b != 0) d.EnableControls({b}, true);
      if (row->disable != 0) d.EnableControls({row->disable}, false);
      break;
    case A::kClose: d.CloseAfter(kFailurePauseMs, 0); break;
  }
}

}  // namespace lark
