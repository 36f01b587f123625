#include "console/shell/console_context.h"

#include <QFileDialog>
#include <QFontMetrics>
#include <QMessageBox>

#include "platform/paths.h"

namespace lark {
namespace {

QFont Arial(int pixels, bool bold) {
  QFont f("Arial");
  f.setPixelSize(pixels);
  f.setBold(bold);
  return f;
}

int LineHeight(const QFont& f) {
  const QFontMetrics m(f);
  return m.height() + m.leading();
}

}  // namespace

std::string QtSaveFileName(QWidget* owner, const std::string& filter, const std::string& suffix) {
  QFileDialog d(owner, "Save As", {}, QString::fromStdString(filter));
  d.setAcceptMode(QFileDialog::AcceptSave);
  d.setDefaultSuffix(QString::fromStdString(suffix));
  return d.exec() == QDialog::Accepted && !d.selectedFiles().isEmpty() ? d.selectedFiles().front().toStdString()
                                                                       : std::string();
}

std::string QtOpenFileName(QWidget* owner, const std::string& filter, const std::string& folder) {
  // Qt parts a filter's patterns by blanks, not by ';'.
  QString qtFilter = QString::fromStdString(filter);
  const qsizetype open = qtFilter.indexOf('(');
  if (open > 0) qtFilter = qtFilter.left(open) + " " + qtFilter.mid(open).replace(';', ' ');
  QFileDialog d(owner, "Open", QString::fromStdString(folder), qtFilter);
  d.setAcceptMode(QFileDialog::AcceptOpen);
  d.setFileMode(QFileDialog::ExistingFile);
  return d.exec() == QDialog::Accepted && !d.selectedFiles().isEmpty()
             ? d.selectedFiles().front().toStdString()
             : std::string();
}

int QtMessageBox(QWidget* owner, const std::string& caption, const std::string& text, unsigned flags) {
  QMessageBox box(owner);
  box.setWindowTitle(QString::fromStdString(caption));
  box.setText(QString::fromStdString(text));
  switch (flags & 0xf0) {
    case MB_ICONERROR:
      box.setIcon(QMessageBox::Critical);
      break;
    case MB_ICONQUESTION:
      box.setIcon(QMessageBox::Question);
      break;
    case MB_ICONEXCLAMATION:
      box.setIcon(QMessageBox::Warning);
      break;
    case MB_ICONINFORMATION:
      box.setIcon(QMessageBox::Information);
      break;
    default:
      break;
  }
  if (flags & MB_YESNO) {
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    return box.exec() == QMessageBox::Yes ? IDYES : IDNO;
  }
  box.setStandardButtons(QMessageBox::Ok);
  box.exec();
  return IDOK;
}

ConsoleFonts MakeConsoleFonts() {
  ConsoleFonts f;
  f.label = Arial(11, true);
  f.value = Arial(11, false);
  f.panel = Arial(14, false);
  f.panelBold = Arial(14, true);
  f.valueLineHeight = LineHeight(f.value);
  f.panelLineHeight = LineHeight(f.panel);
  return f;
}

ConsoleContext::ConsoleContext(std::string installDir, const Clock& clock, WorkArea area)
    : monitor(JoinPath(installDir, "monitor.ini"), area), tables(installDir),
      installDir_(std::move(installDir)), clock_(clock) {}

ConsoleContext::~ConsoleContext() = default;

std::string ConsoleContext::languageFile() const {
  const std::string& name = settings.service.language.empty() ? std::string("English")
                                                                : settings.service.language;
  const std::string folder = IsSafeName(name) ? ResolveNoCase(installDir_, name) : JoinPath(installDir_, "English");
  return ResolveNoCase(folder, "language.ini");
}

Profile ConsoleContext::languageProfile() const { return Profile(languageFile()); }

int ConsoleContext::ShowLangMessageBox(QWidget* owner, int n, const std::string& caption, unsigned flags) {
  const std::string text =
      languageProfile().getString("MessageBox", "M_" + std::to_string(n), "", 256);
  return messageBox ? messageBox(owner, caption, text, flags) : IDOK;
}

}  // namespace lark
