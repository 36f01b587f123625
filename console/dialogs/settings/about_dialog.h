// About (110): the product's name and version; no request.
#pragma once
#include "console/dialogs/dialog_base.h"

namespace lark {

inline constexpr int kAboutResource = 110;
// The letter v, the version, the word build and the build date.
inline constexpr const char* kConsoleVersionText = "v9.00 build 20261201";

class AboutDialog : public DialogBase {
 public:
  AboutDialog(ConsoleDialogs& env, QWidget* owner);

 protected:
  void OnCancel() override { done(1); }  // OK, Esc and close alike
};

void RegisterAboutDialog(ConsoleDialogs& env);

}  // namespace lark
