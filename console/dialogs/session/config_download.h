// The dialogs that download the service's configuration into Monitor/:
// Auto-Load Configuration (149) fetches manager.ini, then the current map;
// Open UMF (150) has the service open a map and fetches it. Both run the
// chunk chain of commands 4 and 5 one request at a time; every failure puts
// the link at (4,3), shows the step's message and gives the buttons back.
#pragma once
#include <cstdint>

#include "console/dialogs/dialog_base.h"
#include "console/dialogs/reply_timer.h"

class QLabel;

namespace lark {

inline constexpr int kAutoLoadConfigResource = 149;
inline constexpr uint32_t kAutoLoadConfigDialogId = 1;

class ConfigDownloadDialog : public DialogBase {
 public:
  using DialogBase::DialogBase;

  // A piece of manager.ini (4) or of the current map (5) from `offset`.
  bool RequestChunk(uint8_t command, uint32_t offset);
  void OnChunk(const ReplyView& reply);
  // The chain stopped: (4,3), the AutoLoadConfig section's `key`, buttons back.
  void Fail(const char* key);
  // Left while a piece waits: the piece file goes and the step fails (4,3).
  void OnAbandoned() override;

 protected:
  // The map is in Monitor/.
  virtual void MapLoaded() = 0;

 private:
  uint32_t offset_ = 0;  // of the piece asked last
  uint8_t command_ = 0;  // of the piece asked last: 4 manager.ini, 5 the map
};

class AutoLoadConfigDialog : public ConfigDownloadDialog {
 public:
  AutoLoadConfigDialog(ConsoleDialogs& env, QWidget* owner);
  void Reload();
  void Init() override;  // the opening steps; tests run them without the modal loop

 protected:
  void MapLoaded() override;

 private:
  QLabel* system_;  // 1285
  QLabel* map_;     // 1286
};

// The chunk branches of both dialogs and the opener of 149.
void RegisterConfigDownload(ConsoleDialogs& env);

}  // namespace lark
