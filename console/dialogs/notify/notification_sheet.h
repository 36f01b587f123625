// The notification sheet: who the service's alarm reactions reach. Three
// pages on one dialog, e-mail (178) with the SMTP account, Broadcast (230)
// and SMS (114) with the GSM modem, edit a copy of the console's working
// settings; OK gathers every page and sends them once (20/7), and only the
// service's success answer puts them into the working copy. A refused save
// leaves the sheet open with its edits; Cancel drops them.
#pragma once
#include <array>
#include <optional>
#include <vector>

#include "console/dialogs/dialog_base.h"
#include "console/dialogs/notify/notify_controls.h"
#include "core/settings.h"

class QCheckBox;
class QListWidget;
class QTabWidget;

namespace lark {

inline constexpr int kEmailPage = 0, kBroadcastPage = 1, kSmsPage = 2;
inline constexpr int kSheetTabsControl = 12320;  // the property sheet's tab control

class NotificationSheet : public DialogBase {
 public:
  NotificationSheet(ConsoleDialogs& env, int startPage, QWidget* owner);

  void Init() override;
  void OnOwnTimer() override;
  // The list page's buttons 102, 103, 104 and the e-mail page's 1104.
  void Add(int page);
  void Edit(int page);
  void Delete(int page);
  void OpenSmtp();
  void Accept();  // OK

  QWidget* page(int p) const { return pages_[static_cast<size_t>(p)].widget; }
  QListWidget* list(int p) const { return pages_[static_cast<size_t>(p)].list; }
  QTabWidget* tabs() const { return tabs_; }
  // Every page gathered into a copy of the sheet's settings; nullopt (with
  // its message box shown) when the modem's port is refused.
  std::optional<ServiceSettings> Gather();

 protected:
  void OnCancel() override;

 private:
  struct Page {
    QWidget* widget = nullptr;
    QListWidget* list = nullptr;
  };
  void BuildListPage(int p, int resource, int listLabel);
  void Show();
  std::string RowText(int p, int row) const;

  ServiceSettings edit_;  // the working copy as the sheet opened, with its saved SMTP account
  std::array<Page, 3> pages_;
  QTabWidget* tabs_;
  QCheckBox* domain_;
  ModemControls modem_;  // on the SMS page
  int startPage_;
  std::vector<uint8_t> sent_;  // the block of the 20/7 that is out
};

// Runs the sheet modally on `page` (0 e-mail, 1 broadcast, 2 SMS).
int OpenNotificationSheet(ConsoleDialogs& env, QWidget* owner, int page);

}  // namespace lark
