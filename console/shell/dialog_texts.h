// Localisers of dialog texts: each key of the dialog's language.ini section
// read with an empty default; a non-empty value replaces the caption or the
// text of the control whose id it names. The caption's value is also the
// prefix of the dialog's status messages.
#pragma once
#include <QWidget>
#include <cstddef>
#include <string>
#include <vector>

#include "platform/profile.h"

namespace lark {

// The child of `dialog` whose "id" property is `id`, or null.
QWidget* FindControl(const QWidget* dialog, int id);
// Gives `control` its number, so localisers and tests find it.
void SetControlId(QWidget* control, int id);
// Sets the text a control shows (label, button, check box, group box, edit).
void SetControlText(QWidget* control, const std::string& text);
std::string ControlText(const QWidget* control);

struct DialogTextRow {
  const char* key;
  int id;       // 0: the dialog's caption
  size_t size;  // read buffer, terminator included
};

// Applies `rows` from [section]; `titleOut` (may be null) gets the "Title"
// value when it is not empty.
void LocaliseDialog(QWidget* dialog, const Profile& lang, const char* section,
                    const std::vector<DialogTextRow>& rows, std::string* titleOut);

void GenerateReportDlgTexts(QWidget* dialog, const Profile& lang, std::string* titleOut);
void DatabaseDlgTexts(QWidget* dialog, const Profile& lang, std::string* titleOut);

}  // namespace lark
