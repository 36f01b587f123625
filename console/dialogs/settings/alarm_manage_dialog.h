// Alarm Management (193, OpenDialogId 12): per event of a device family its
// alarm level and delay, the size of the event log, and per alarm level the
// reactions and the sound's repetition. It edits copies of the tables the
// link paged in and of the console's settings, and sends each change at
// once (21/33 the maximum of entries, 21/<write sub> the whole table, 21/31
// the reactions); the console keeps a change only when the service confirms
// it, and a confirmed table also becomes the console's level table.
#pragma once
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QTabBar>
#include <optional>
#include <vector>

#include "console/dialogs/dialog_base.h"
#include "console/dialogs/reply_timer.h"
#include "core/action_tables.h"
#include "linkserver/link_records.h"

namespace lark {

inline constexpr int kAlarmManageResource = 193;
inline constexpr uint32_t kAlarmManageDialogId = 12;
inline constexpr int kUpdateEvent = 1175, kUpdateReactions = 1176;

// A family of the drop-down: its label and the tables its list shows, one
// after the other.
struct AlarmFamily {
  int number;
  const char* label;
  std::array<ActionFamily, 2> tables;
  int tableCount;
};

// A row of a family's list: which table holds it and where.
struct AlarmRowPlace {
  ActionFamily table;
  size_t row;
};
std::optional<AlarmRowPlace> PlaceOfRow(const AlarmFamily& family, size_t listRow);

class AlarmManageDialog : public DialogBase {
 public:
  AlarmManageDialog(ConsoleDialogs& env, QWidget* owner);

  void Init() override;
  void SelectFamily(int comboIndex);  // 1017
  void SelectRow(int row);            // 103
  void SelectLevel(int level);        // tab 1178
  void UpdateEvent();                 // 1175
  void UpdateReactions();             // 1176
  void OnReply(const ReplyView& reply);
  void OnTimedOut() override;

 protected:
  void OnCancel() override { done(1); }

 private:
  // The link's image of a table, when it is whole.
  std::vector<uint8_t>* Image(ActionFamily f) const;
  bool FamilyWhole() const;
  void ShowRow();
  void ShowReactions();
  void SetUpdatesEnabled(bool on);
  void SendTable();

  const AlarmFamily* family_ = nullptr;
  int row_ = 0;
  int level_ = 0;
  // What waits for the service's word.
  std::optional<int32_t> pendingMax_;
  std::optional<std::pair<ActionFamily, std::vector<uint8_t>>> pendingTable_;
  std::optional<ReactionImage> pendingReactions_;

  QListWidget* events_;
  QComboBox* families_;
  QButtonGroup* levels_;
  QLineEdit* delay_;
  QLineEdit* maxEntries_;
  QTabBar* tabs_;
  QCheckBox* sound_;
  QLineEdit* interval_;
  QComboBox* cycle_;
  QCheckBox* broadcast_;
  QCheckBox* email_;
  QCheckBox* sms_;
};

// Opener 193 and its replies to 21.
void RegisterAlarmManageDialog(ConsoleDialogs& env);

}  // namespace lark
