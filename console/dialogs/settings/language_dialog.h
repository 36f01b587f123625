// Language Selection (253, OpenDialogId 17): the service changes its
// language (27), the console reads the service's alarm tables of the new
// language (21/0 .. 21/20), reloads its own texts and puts the language's
// manual in place. The pages are kept aside and swapped in only after the
// last one, so a failure on the way leaves the old language whole.
#pragma once
#include <QComboBox>
#include <array>
#include <string>
#include <vector>

#include "console/dialogs/dialog_base.h"
#include "console/dialogs/reply_timer.h"

namespace lark {

inline constexpr int kLanguageResource = 253;
inline constexpr uint32_t kLanguageDialogId = 17;

// The languages the service knows, by command 27's sub-command.
inline constexpr std::array<const char*, 4> kLanguageNames = {"English", "Traditional Chinese",
                                                              "Simplified Chinese", "Russian"};
// The indexes of those with a language.ini in `installDir`; English always.
std::vector<int> InstalledLanguages(const std::string& installDir);
// Copies the manual of language `index` over <install>/manual.pdf through a
// temp file; false (the old file kept) when there is none or it fails.
bool InstallManual(const std::string& installDir, int index);

class LanguageDialog : public DialogBase {
 public:
  LanguageDialog(ConsoleDialogs& env, QWidget* owner);

  void Init() override;
  void Ok();
  void OnLanguageReply(const ReplyView& reply);
  void OnPageReply(const ReplyView& reply);
  void OnTimedOut() override;

 private:
  bool AskPage(uint8_t sub);
  void Stop(const char* section, const char* key);
  void Finish();

  QComboBox* names_;
  int chosen_ = 0;
  std::array<std::vector<uint8_t>, 11> pages_;
};

void RegisterLanguageDialog(ConsoleDialogs& env);

}  // namespace lark
