#include "console/shell/dialog_texts.h"

#include <QAbstractButton>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>

#include "common/bytes.h"
#include "console/shell/console_menus.h"

namespace lark {

QWidget* FindControl(const QWidget* dialog, int id) {
  for (QWidget* w : dialog->findChildren<QWidget*>())
    if (w->property(kIdProperty).isValid() && w->property(kIdProperty).toInt() == id) return w;
  return nullptr;
}

void SetControlId(QWidget* control, int id) { control->setProperty(kIdProperty, id); }

void SetControlText(QWidget* control, const std::string& text) {
  const QString s = QString::fromStdString(text);
  if (auto* l = qobject_cast<QLabel*>(control))
    l->setText(s);
  else if (auto* b = qobject_cast<QAbstractButton*>(control))
    b->setText(s);
  else if (auto* g = qobject_cast<QGroupBox*>(control))
    g->setTitle(s);
  else if (auto* e = qobject_cast<QLineEdit*>(control))
    e->setText(s);
  else
    control->setWindowTitle(s);
}

std::string ControlText(const QWidget* control) {
  if (auto* l = qobject_cast<const QLabel*>(control)) return l->text().toStdString();
  if (auto* b = qobject_cast<const QAbstractButton*>(control)) return b->text().toStdString();
  if (auto* g = qobject_cast<const QGroupBox*>(control)) return g->title().toStdString();
  if (auto* e = qobject_cast<const QLineEdit*>(control)) return e->text().toStdString();
  return control->windowTitle().toStdString();
}

void LocaliseDialog(QWidget* dialog, const Profile& lang, const char* section,
                    const std::vector<DialogTextRow>& rows, std::string* titleOut) {
  for (const DialogTextRow& row : rows) {
    const std::string v = std::string(CutUtf8(lang.getString(section, row.key, "", 1024), row.size - 1));
    if (v.empty()) continue;
    if (row.id == 0) {
      dialog->setWindowTitle(QString::fromStdString(v));
      if (titleOut) *titleOut = v;
    } else if (QWidget* c = FindControl(dialog, row.id)) {
      SetControlText(c, v);
    }
  }
}

void GenerateReportDlgTexts(QWidget* dialog, const Profile& lang, std::string* titleOut) {
  LocaliseDialog(dialog, lang, "Dialog-Generate Report",
                 {{"Title", 0, 64}, {"L_1", 1053, 64}, {"L_2", 1054, 64}, {"B_1", 1015, 64}, {"B_2", 1011, 64}},
                 titleOut);
}

void DatabaseDlgTexts(QWidget* dialog, const Profile& lang, std::string* titleOut) {
  LocaliseDialog(dialog, lang, "Dialog-Database",
                 {{"Title", 0, 64},
                  {"C_1", 1119, 64},
                  {"L_1", 1600, 256},
                  {"L_2", 1243, 64},
                  {"L_3", 1244, 64},
                  {"L_4", 1245, 64},
                  {"L_5", 1246, 256},
                  {"L_6", 1247, 256},
                  {"L_7", 1248, 256},
                  {"B_1", 1, 64},
                  {"B_2", 1016, 64},
                  {"B_3", 1017, 64},
                  {"B_4", 1018, 64}},
                 titleOut);
}

}  // namespace lark
