// F1 in any of the console's dialogs opens the shipped manual
// ("<install>/manual.pdf", the one the language selection installs) with the
// desktop's viewer. Installed on the application by the main window, so
// every dialog, message boxes included, gets it without code of its own.
#pragma once
#include <QObject>

namespace lark {

class ConsoleContext;

class DialogHelp : public QObject {
 public:
  explicit DialogHelp(ConsoleContext& ctx) : ctx_(ctx) {}
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  ConsoleContext& ctx_;
};

}  // namespace lark
