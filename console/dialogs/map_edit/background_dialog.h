// Background (108, OpenDialogId 6): the picture of the map's current group.
// OK sets it on the service (15) and in the console's tree; when the service
// runs on another computer the picture file follows (32) in 32768-byte pieces
// into the service's Images folder, where other consoles find it by its name
// (Sync Images).
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "console/dialogs/dialog_base.h"
#include "console/dialogs/reply_timer.h"
#include "console/link/upload_reader.h"

class QLineEdit;

namespace lark {

inline constexpr int kBackgroundResource = 108;
inline constexpr uint32_t kBackgroundDialogId = 6;
// The request's picture text holds this many bytes before its terminator.
inline constexpr size_t kPictureTextMax = 259;
inline constexpr const char* kPictureFilter = "Bitmap Files(*.BMP;*.JPG;*.JPEG;*.GIF;*.WMF;*.ICO)";
inline constexpr int kPictureTooLongBox = 110;  // [MessageBox] M_110

// The picture text 15 carries for what edit 1002 holds: leading blanks, tabs
// and line ends removed, so a text of only those removes the picture.
std::string PictureText(std::string_view typed);
// The picture's name in the service's Images folder: the part of the local
// path after its last '/' or '\'.
std::string UploadName(std::string_view path);

class BackgroundDialog : public DialogBase {
 public:
  BackgroundDialog(ConsoleDialogs& env, QWidget* owner);
  void Init() override;  // the opening steps; tests run them without the modal loop
  void Browse();
  void Ok();
  void OnPictureSet(const ReplyView& reply);
  void OnPieceStored(const ReplyView& reply);

 protected:
  void OnCancel() override;

 private:
  // Reads the first (`next` false) or the next piece of the picture file and
  // sends it; false when it cannot be read or queued.
  bool SendPiece(bool next);
  // `key` of the section, OK and Cancel back.
  void Stop(const char* key);

  QLineEdit* path_;      // 1002
  int32_t groupId_ = 0;  // the group whose picture this is
  std::string sent_;     // the picture text of the 15 out
  std::string file_;     // the local file being uploaded
  UploadReader reader_;
  std::vector<uint8_t> piece_;  // header and data of the piece out
  uint32_t pieceLength_ = 0;    // data bytes of the piece out
};

void RegisterBackgroundDialog(ConsoleDialogs& env);

}  // namespace lark
