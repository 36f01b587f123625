// The frame of the settings dialogs that live on detail-tab pages 3 to 5
// (Schedule, Configuration, Dry Contact): a dialog without a caption on its
// page, whose status lines ("<prefix> - MSGn") go to label 1700 instead.
// Its 1-second timer 1025 reloads it from the detail tabs' selected device
// when the window's reload flag is set and its slot is the selected tab; the
// page then remembers that device, and Submit and the reply work on it even
// when the selection has moved on since. Its own request goes out with timer
// 1032, and only the reply that carries its sequence number is taken: when
// another dialog's request displaced it, the page stops waiting at once.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "console/dialogs/dialog_base.h"

class QLabel;
class QPushButton;
class QVBoxLayout;

namespace lark {

class DeviceNode;

inline constexpr int kPageTimerId = 1025;
inline constexpr int kPageTimerPeriodMs = 1000;
inline constexpr int kPageStatusControl = 1700;
inline constexpr uint32_t kPageRequestTimeoutMs = 10000;
inline constexpr int kNumberRangeMessage = 84;  // [MessageBox] M_84

class TabPage : public DialogBase {
 public:
  // Made once on `page`; the slot is the DetailTabId whose tab shows it.
  TabPage(ConsoleDialogs& env, int resource, int slot, QWidget* page);
  ~TabPage() override;

  int slot() const { return slot_; }
  // A page's scroll area never squeezes a control below its size hint: a
  // page smaller than the controls scrolls instead.
  QSize minimumSizeHint() const override { return sizeHint(); }
  // One tick of timer 1025: the reload gate, then Reload.
  void OnSecondTick();
  // The operator may change settings: accounts are off, or the database is
  // connected (state 2) and the user is an operator (level 2).
  bool MayChange() const;
  // The device the page was last loaded from, if it still exists.
  DeviceNode* LoadedDevice() const;
  std::string status() const;  // label 1700
  // One tick of timer 1032 while the page's request waits.
  void OnOwnTimer() final;

 protected:
  // The page's own reload; `device` null only for pages that reload
  // without a selection (ReloadsWithoutDevice).
  virtual void Reload(DeviceNode* device) = 0;
  virtual bool ReloadsWithoutDevice() const { return false; }
  // The last reload showed no setting of its device (nothing reported yet).
  virtual bool ShowsNothing() const { return false; }
  // Timer 1032 outcomes: the reply's code (byte 5), or none for a time-out
  // or a displaced request.
  virtual void OnReplyCode(std::optional<uint8_t> code) = 0;
  // Asks for a reload at the next tick (Refresh).
  void RequestReload();

  // Controls with their id and the template's English text; a field takes
  // its label's text as accessible name, and the label is its buddy.
  QLabel* NewLabel(int id);
  QPushButton* NewButton(int id);
  template <class W>
  W* NewField(int id, QLabel* label);
  void ShowControls(const std::vector<int>& ids, bool on);
  // The foot of a settings page: Submit (1) and Refresh (2) on the left, the
  // status line under them, the room left over below.
  void AddSubmitAndRefresh(QVBoxLayout* outer, std::function<void()> submit, std::function<void()> refresh);
  // A refused number: [MessageBox] M_84 naming the field and its range.
  void RefuseNumber(const std::string& field, int32_t min, int32_t max);

  void OnCancel() override {}  // Escape leaves a page where it is

  int16_t loadedId_ = -1;

 private:
  void SetFieldId(QWidget* w, int id, QLabel* label);

  int slot_;
  QLabel* status_;
};

template <class W>
W* TabPage::NewField(int id, QLabel* label) {
  auto* w = new W(this);
  SetFieldId(w, id, label);
  return w;
}

}  // namespace lark
