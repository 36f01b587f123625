// The Connection dialog (109, OpenDialogId 11): the service's polling
// intervals and time-outs for SNMP, serial and GPRS devices (19/1 with a
// zeroed settings image holding only these six values). Each edit takes at
// most four digits, as many as the service's field is read with.
#pragma once
#include <QLineEdit>
#include <array>
#include <optional>
#include <string>

#include "console/dialogs/dialog_base.h"
#include "console/dialogs/reply_timer.h"
#include "linkserver/link_records.h"

namespace lark {

inline constexpr int kConnectionResource = 109;
inline constexpr uint32_t kConnectionDialogId = 11;

// The first failed check of the six typed values: a [MessageBox] number, or
// 0 with the SNMP interval's upper limit (the text names it).
struct PollingRefusal {
  int messageBox = 0;
  int32_t snmpLimit = 0;
};
// Checks in the dialog's order; `texts` in image order (SNMP polling, SNMP
// time-out, serial polling, serial time-out, GPRS polling, GPRS time-out).
std::optional<PollingRefusal> CheckPolling(const std::array<std::string, 6>& texts, size_t networkDevices,
                                           PollingImage& out);

class ConnectionDialog : public DialogBase {
 public:
  ConnectionDialog(ConsoleDialogs& env, QWidget* owner);

  void Init() override;
  void Ok();
  void OnReply(const ReplyView& reply);

 protected:
  void OnCancel() override;

 private:
  std::array<QLineEdit*, 6> edits_{};  // in image order
  PollingImage sent_;
};

void RegisterConnectionDialog(ConsoleDialogs& env);

}  // namespace lark
