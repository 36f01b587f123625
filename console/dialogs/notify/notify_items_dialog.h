// Notify By Service (258) and Notify By Monitor (259): which devices and
// groups each of the 20 contacts hears about. One column of list 13 per
// contact, up to 50 node IDs filled from the top. The service's items are
// read with 20/10 and written with 20/11; the console's own go to
// monitor.ini with its GSM modem, and the console's mail slots are bound
// to them again under the mail lock.
//
// Node IDs and contact indexes travel as item data of the list entries and
// as the dialog's own column table; no ID is ever read back from a text.
#pragma once
#include <array>
#include <vector>

#include "console/dialogs/dialog_base.h"
#include "console/dialogs/notify/notify_controls.h"
#include "core/settings.h"

class QListWidget;

namespace lark {

class ReportListView;

inline constexpr int kNotifyByServiceResource = 258;
inline constexpr int kNotifyByMonitorResource = 259;
inline constexpr int kColumnRows = kRecipientNodeIds;

enum class NotifyMode { kService, kMonitor };

using NodeColumn = std::array<int16_t, kColumnRows>;  // -1: empty

// The first item named exactly `name`, or -1.
int FindRecipientByName(const std::string& name, const std::array<RecipientItem, kListRows>& items);

class NotifyItemsDialog : public DialogBase {
 public:
  NotifyItemsDialog(ConsoleDialogs& env, NotifyMode mode, QWidget* owner);

  void Init() override;
  void OnOwnTimer() override;
  void ChooseContact(int contact);  // the current column
  void Add();                       // 102: the chosen Rest Object
  void Remove();                    // 103: the chosen Selected Object
  void Save();                      // 1015

  QListWidget* users() const { return users_; }
  QListWidget* selectedObjects() const { return selected_; }
  QListWidget* restObjects() const { return rest_; }
  ReportListView* columns() const { return columns_; }
  const NodeColumn& column(int contact) const { return ids_[static_cast<size_t>(contact)]; }
  int current() const { return current_; }
  // The items the columns make: a named contact's name and its IDs in order.
  std::array<RecipientItem, kListRows> Items() const;

 protected:
  void OnCancel() override;

 private:
  void Fill(const std::array<RecipientItem, kListRows>& items);
  void ShowColumn(int c);
  void Refresh();
  std::string CellText(int16_t id) const;

  NotifyMode mode_;
  QListWidget* users_;
  ReportListView* columns_;
  QListWidget* selected_;
  QListWidget* rest_;
  ModemControls modem_;                    // Monitor only
  std::array<NodeColumn, kListRows> ids_;  // the column of each contact
  int current_ = -1;                       // contact index of the current column
  std::vector<uint8_t> block_;             // as read (Service)
  std::array<RecipientItem, kListRows> sent_;
};

// Openers 258 and 259.
void RegisterNotifyItemsDialogs(ConsoleDialogs& env);

}  // namespace lark
