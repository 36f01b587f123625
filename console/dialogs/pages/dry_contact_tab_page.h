// The Dry Contact page (dialog 252 on detail-tab slot 5): the relay contacts
// of a serially polled UPS read from its live-data block, and Submit sending
// the groups the operator changed (28/1); a success is written to the
// operation log (code 71) and becomes the page's known state. An event the
// shown list lacks is listed as "(n)" and kept unless changed.
#pragma once
#include <optional>
#include <string>
#include <vector>

#include "console/dialogs/pages/dry_contact_settings.h"
#include "console/dialogs/pages/tab_page.h"

namespace lark {

inline constexpr int kDryContactTabResource = 252;

class DryContactTabPage : public TabPage {
 public:
  DryContactTabPage(ConsoleDialogs& env, QWidget* page);

  void Submit();   // 1
  void Refresh();  // 2
  const DryContactRecords& records() const { return loaded_; }

 protected:
  void Reload(DeviceNode* device) override;
  void OnReplyCode(std::optional<uint8_t> code) override;
  bool ShowsNothing() const override { return !outputsShown_ && !inputsShown_; }

 private:
  DryContactRecords Typed() const;

  DryContactRecords loaded_{};
  bool outputsShown_ = false, inputsShown_ = false;
  int16_t commType_ = -1;
  std::vector<std::string> outputEvents_, inputEvents_;  // the lists shown
  struct Submitted {
    int16_t id;
    int16_t commType;
    DryContactRecords records;
  };
  std::optional<Submitted> submitted_;
};

QWidget* CreateDryContactTab(ConsoleDialogs& env, QWidget* page);

}  // namespace lark
