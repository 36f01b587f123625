#include "console/dialogs/dialog_controls.h"

#include "console/dialogs/dialog_text_table.h"
#include "console/shell/console_context.h"

namespace lark {

QPushButton* MakeButton(QWidget* parent, int id, const std::string& text) {
  auto* b = MakeControl<QPushButton>(parent, id, text);
  b->setText(QString::fromStdString(text));
  QString plain = b->text();
  b->setAccessibleName(plain.remove('&'));
  return b;
}

QLineEdit* AddLabelledEdit(QGridLayout* grid, int row, int resource, int labelId, int editId,
                           size_t maxBytes, bool hidden) {
  QWidget* parent = grid->parentWidget();
  const std::string text = EnglishText(resource, labelId);
  auto* label = MakeControl<QLabel>(parent, labelId, text);
  label->setText(QString::fromStdString(text));
  auto* edit = MakeControl<QLineEdit>(parent, editId, text);
  if (maxBytes > 0) edit->setMaxLength(static_cast<int>(maxBytes));
  if (hidden) edit->setEchoMode(QLineEdit::Password);
  label->setBuddy(edit);
  grid->addWidget(label, row, 0);
  grid->addWidget(edit, row, 1);
  return edit;
}

bool HasLineBreakOrTab(const std::string& text) { return text.find_first_of("\t\r\n") != std::string::npos; }

std::string CommonText(const ConsoleContext& ctx, int n, const char* english) {
  if (n < 1 || n > kCommonTextCount) return english;
  const auto& t = ctx.texts.language.common[static_cast<size_t>(n - 1)];
  return t && !t->empty() ? *t : english;
}

}  // namespace lark
