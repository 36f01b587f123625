// The UPS Log dialog (195, OpenDialogId 34): has the service read a serial
// UPS's own event log (11/7 for the ASCII UPS, 11/6 for the three-phase
// one), writes it to Monitor/UPSEventLog_<title>(<id>).txt and opens that
// file. No buttons: bar 1015 shows the reading, and the dialog closes by
// itself.
#pragma once
#include <functional>
#include <string>

#include "console/dialogs/dialog_base.h"
#include "console/dialogs/reply_timer.h"
#include "console/dialogs/logs/ups_log_download.h"

namespace lark {

class DeviceNode;

inline constexpr int kUpsLogResource = 195;
inline constexpr uint32_t kUpsLogDialogId = 34;

class UpsLogDialog : public DialogBase {
 public:
  UpsLogDialog(ConsoleDialogs& env, DeviceNode& node, QWidget* owner);

  // Opens the written file with the desktop's program; tests replace it.
  std::function<void(const std::string& path)> openFile;

  // The opening steps: the first request goes out.
  void Init() override;
  // The reply branch of OpenDialogId 34 (command 11).
  void OnReply(const ReplyView& reply);
  // The file the download writes.
  std::string filePath() const;

 private:
  void Fail(const char* key);
  void SendStep();
  void WriteLog(CBytes entries);

  DeviceNode& node_;
  UpsLogDownload download_;
};

// Opener 195 (the map's selected device) and the reply branch of id 34.
void RegisterUpsLogDialog(ConsoleDialogs& env);

}  // namespace lark
