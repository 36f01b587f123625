// The traffic traces (25): Save Serial (165, OpenDialogId 15) starts or
// stops the service's trace of one COM port or all of them for a period
// (25/4 with the TraceRequest); Save Network (162, OpenDialogId 16) turns
// the network trace over at opening (25/3 when the console's flag says it
// runs, else 25/2) and only shows a progress bar. The console's two flags
// follow the service's answer.
#pragma once
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <optional>

#include "console/dialogs/dialog_base.h"
#include "console/dialogs/reply_timer.h"
#include "linkserver/link_records.h"

namespace lark {

inline constexpr int kSaveSerialResource = 165, kSaveNetworkResource = 162;
inline constexpr uint32_t kSaveSerialDialogId = 15, kSaveNetworkDialogId = 16;

// The request of Save Serial's fields, or nothing when the period is not a
// whole number of minutes (empty: no end).
std::optional<TraceRequest> SerialTraceRequest(int portIndex, const std::string& period, bool stop);

class SaveSerialDialog : public DialogBase {
 public:
  SaveSerialDialog(ConsoleDialogs& env, QWidget* owner);
  void Init() override;
  void Ok();

 private:
  QComboBox* port_;
  QLineEdit* period_;
  QCheckBox* stop_;
};

class SaveNetworkDialog : public DialogBase {
 public:
  SaveNetworkDialog(ConsoleDialogs& env, QWidget* owner);
  void Init() override;
};

// Openers 165 and 162 and their replies to 25.
void RegisterTraceDialogs(ConsoleDialogs& env);

}  // namespace lark
