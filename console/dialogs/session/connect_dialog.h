// Connect To Server (146): finds services on the network, connects the
// console's link to one and says hello, and keeps the start-up settings
// "Auto Connect" and "Server IP" of monitor.ini. It drives the pending
// request itself and polls it with its own timer 1032.
#pragma once
#include <cstdint>

#include "console/dialogs/dialog_base.h"

class QCheckBox;
class QComboBox;
class QLineEdit;

namespace lark {

inline constexpr int kConnectResource = 146;

class ConnectDialog : public DialogBase {
 public:
  // `reconnect`: offered after the link was lost; it keeps the lost link's
  // server and gives up by itself before the third attempt.
  ConnectDialog(ConsoleDialogs& env, QWidget* owner, bool reconnect);

  // What the dialog waits for.
  enum class Step { kNone, kSearch, kConnect };
  // 0 idle (connecting, no hello yet), 1 waiting, 2 done, 3 failed.
  uint16_t state() const { return state_; }
  Step step() const { return step_; }

  void AutoSearch();
  void Connect();
  void Ok();
  void Tick();  // timer 1032
  // Cancel, Esc and the close box, also while connecting.
  void reject() override { OnCancel(); }
  void Init() override;  // the opening steps; tests run them without the modal loop

 protected:
  void OnCancel() override;

 private:
  bool StartTimer();
  bool Search();
  void StartConnect(uint32_t timeoutMs);
  void Failed(const char* key);
  void Buttons(bool on);

  bool reconnect_;
  Step step_ = Step::kNone;
  uint16_t state_ = 0;
  uint32_t sendTick_ = 0;    // ms, the clock's tick when the step began
  uint32_t timeoutMs_ = 0;
  uint32_t helloSequence_ = 0;
  QComboBox* servers_;   // 1277
  QLineEdit* typed_;     // 1279
  QCheckBox* enable_;    // 1245
  QLineEdit* saved_;     // 1302
};

// The opener of 146; its parameter is the reconnection flag.
void RegisterConnectDialog(ConsoleDialogs& env);

}  // namespace lark
