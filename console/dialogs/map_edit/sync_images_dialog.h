// Sync Images (163, OpenDialogId 18): copies the map pictures the service
// lists and this console lacks into the install's Images folder, one file
// after the other in 32768-byte pieces (31/1), with only a progress bar (1015)
// that counts whole files. With the service on this computer the two share
// the folder, and the dialog ends at once with 1.
//
// Each file grows as "<name>.part" and takes its name after its last piece;
// a failed, refused or timed-out transfer takes the piece file away again, so
// no half picture is ever found under a picture's name.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "console/dialogs/dialog_base.h"
#include "console/dialogs/reply_timer.h"

namespace lark {

inline constexpr int kSyncImagesResource = 163;
inline constexpr uint32_t kSyncImagesDialogId = 18;

class SyncImagesDialog : public DialogBase {
 public:
  SyncImagesDialog(ConsoleDialogs& env, QWidget* owner);
  ~SyncImagesDialog() override;
  void Init() override;  // the opening steps; tests run them without the modal loop
  void OnList(const ReplyView& reply);
  void OnPiece(const ReplyView& reply);
  void OnTimedOut() override;
  void OnAbandoned() override { DropPart(); }

  const std::vector<std::string>& missing() const { return missing_; }
  // Where the pictures go: the install's Images folder, found without case.
  std::string imagesDir() const;

 private:
  // Asks the piece of the current file at `offset`; MSG1 names the file.
  bool RequestPiece(uint32_t offset);
  // MSG2, the piece file away, the end with 0 after the pause.
  void Fail();
  void DropPart();

  std::vector<std::string> missing_;  // the names to fetch, in list order
  size_t current_ = 0;                // index of the file under way
  uint32_t offset_ = 0;               // of the piece asked last
  bool partOpen_ = false;             // a piece file of the current name may exist
};

void RegisterSyncImagesDialog(ConsoleDialogs& env);

}  // namespace lark
