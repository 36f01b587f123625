// The Configuration page (dialog 251 on detail-tab slot 4): the settings of
// a serially polled UPS read from its live-data block, and Submit sending
// the ones the operator changed (28/0); a success is written to the
// operation log (code 70) and becomes the page's known state.
#pragma once
#include <array>
#include <optional>

#include "console/dialogs/pages/config_settings.h"
#include "console/dialogs/pages/tab_page.h"

class QComboBox;
class QLineEdit;
class QSlider;
class QCheckBox;

namespace lark {

inline constexpr int kConfigTabResource = 251;

class ConfigTabPage : public TabPage {
 public:
  ConfigTabPage(ConsoleDialogs& env, QWidget* page);

  void Submit();   // 1
  void Refresh();  // 2
  const ConfigValues& values() const { return loaded_; }

 protected:
  void Reload(DeviceNode* device) override;
  void OnReplyCode(std::optional<uint8_t> code) override;
  bool ShowsNothing() const override { return shownNothing_; }

 private:
  // What the controls hold, `loaded_` for every control left alone; none
  // when a changed number is refused.
  std::optional<ConfigValues> TypedValues();
  void RememberShown();

  ConfigValues loaded_ = UnknownConfigValues();
  // What the controls showed at the reload, to tell which ones changed.
  std::array<int, kConfigValueCount> shown_{};
  std::array<QString, kConfigValueCount> shownText_;
  std::optional<ConfigSubmission> submitted_;
  int16_t submittedId_ = -1;
  bool shownNothing_ = false;
};

// The page on `page`, reloading from the detail tabs' selected device.
QWidget* CreateConfigTab(ConsoleDialogs& env, QWidget* page);

}  // namespace lark
