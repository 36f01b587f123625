// The Contactor dialog (257): the service's address book of 20 contacts. It
// reads them with 20/8, edits them as records in list 1303 (a typed tab
// stays inside its field) and writes them back packed from the first row
// with 20/9; the console's contact table takes what was sent once the
// service has stored it.
#pragma once
#include <vector>

#include "console/dialogs/dialog_base.h"
#include "core/settings.h"

class QLineEdit;
class QPlainTextEdit;

namespace lark {

class ReportListView;

inline constexpr int kContactorResource = 257;

class ContactorDialog : public DialogBase {
 public:
  ContactorDialog(ConsoleDialogs& env, QWidget* owner);

  void Init() override;  // 20/8
  void OnOwnTimer() override;
  void Select(int row);  // the row's fields into the edits
  void Add();            // 102
  void Modify();         // 103
  void Delete();         // 1109
  void Save();           // 1015

  ReportListView* list() const { return list_; }
  const std::vector<ContactorRecord>& rows() const { return rows_; }
  // The edits' fields: 1049, 1304, 1305, 1306, 1307, 1050.
  void SetFields(const ContactorRecord& c);

 protected:
  void OnCancel() override;

 private:
  // The typed record; nullopt (with its message box) when a field is refused.
  std::optional<ContactorRecord> Typed();
  void ShowRows();

  ReportListView* list_;
  QLineEdit* name_;
  QLineEdit* email1_;
  QLineEdit* phone1_;
  QLineEdit* email2_;
  QLineEdit* phone2_;
  QPlainTextEdit* remark_;
  std::vector<ContactorRecord> rows_;  // the list's rows as records
  int selected_ = -1;                  // the remembered row
  std::vector<uint8_t> block_;         // as read; the rest travels back unchanged
  std::vector<ContactorRecord> sent_;  // the contacts of the 20/9 that is out
};

// Opener 257.
void RegisterContactorDialog(ConsoleDialogs& env);

}  // namespace lark
