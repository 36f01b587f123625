#include "console/shell/dialog_help.h"

#include <QDialog>
#include <QKeyEvent>

#include "console/shell/console_context.h"
#include "platform/paths.h"

namespace lark {

bool DialogHelp::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::KeyPress || static_cast<QKeyEvent*>(event)->key() != Qt::Key_F1)
    return false;
  auto* widget = qobject_cast<QWidget*>(watched);
  if (widget == nullptr || qobject_cast<QDialog*>(widget->window()) == nullptr) return false;
  const std::string manual = JoinPath(ctx_.installDir(), "manual.pdf");
  if (!FileExists(manual)) return false;
  ctx_.spawn({"xdg-open", manual}, {});
  return true;  // one viewer per key press, not one per widget up the chain
}

}  // namespace lark
