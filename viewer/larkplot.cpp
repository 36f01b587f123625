#include "viewer/larkplot.h"

#include <QApplication>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMessageBox>
#include <cstdio>
#include <cstdlib>

#include "platform/clock.h"
#include "platform/paths.h"
#include "viewer/history_dialog.h"
#include "viewer/viewer_context.h"

namespace lark {

int RunLarkplot(int argc, char** argv) {
  std::vector<std::string> fields(argv + 1, argv + argc);
  ViewerArgsResult parsed = ParseViewerArgs(fields, std::getenv("LARK_DB_PASSWORD"));
  if (!parsed.args) {
    std::fprintf(stderr, "Larkplot: %s\n", parsed.error.c_str());
    return 2;
  }
  ViewerArgs& args = *parsed.args;
  if (args.programFolder.empty()) {
    args.programFolder = ExecutableDir();
    if (args.historyRoot.empty()) args.historyRoot = args.programFolder;
  }
  // The line is checked before Qt looks for a display.
  QApplication app(argc, argv);
  SystemClock clock;
  ViewerContext ctx(std::move(args), clock);
  std::string error;
  if (ctx.args().fromDatabase && !ctx.ConnectDatabase(&error)) {
    std::fprintf(stderr, "Larkplot: Login the database failed! %s\n", error.c_str());
    if (QGuiApplication::platformName() != "offscreen")
      QMessageBox::warning(nullptr, "Historical Parameters", "Login the database failed!");
    return 2;
  }
  ctx.LoadFolderSettings();
  HistoryDialog dialog(ctx);
  ctx.messageBox = [&dialog](const std::string& text, const std::string& caption,
                             MessageIcon icon) {
    QMessageBox box(icon == MessageIcon::kError ? QMessageBox::Critical : QMessageBox::Warning,
                    QString::fromStdString(caption), QString::fromStdString(text), QMessageBox::Ok,
                    &dialog);
    box.exec();
  };
  ctx.chooseExportPath = [&dialog]() -> std::optional<std::string> {
    QFileDialog d(&dialog, "Save", QString(), "XLS File(*.XLS)");
    d.setAcceptMode(QFileDialog::AcceptSave);
    d.setDefaultSuffix("xls");
    if (d.exec() != QDialog::Accepted || d.selectedFiles().isEmpty()) return std::nullopt;
    return d.selectedFiles().front().toStdString();
  };
  return dialog.exec();
}

}  // namespace lark
