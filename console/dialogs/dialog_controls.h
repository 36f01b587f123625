// Small builders of dialog controls: each control gets its id and an
// accessible name, a label is the buddy of the field it names, and its
// English text comes from the dialog's localiser rows.
#pragma once
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <cstddef>
#include <string>

#include "console/shell/dialog_texts.h"

namespace lark {

class ConsoleContext;

template <class W>
W* MakeControl(QWidget* parent, int id, const std::string& name) {
  auto* w = new W(parent);
  SetControlId(w, id);
  w->setAccessibleName(QString::fromStdString(name));
  return w;
}

// A push button with its template text.
QPushButton* MakeButton(QWidget* parent, int id, const std::string& text);

// Label `labelId` (the template text of `resource`) in column 0 of `row`,
// edit `editId` beside it as its buddy; `maxBytes` 0: no limit.
QLineEdit* AddLabelledEdit(QGridLayout* grid, int row, int resource, int labelId, int editId,
                           size_t maxBytes, bool hidden);

// Tab, CR or LF: such a text would break the rows of a list or a line of
// manager.ini.
bool HasLineBreakOrTab(const std::string& text);

// [Common] T_n of the language, or `english` while the language has none.
std::string CommonText(const ConsoleContext& ctx, int n, const char* english);

}  // namespace lark
