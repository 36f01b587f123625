// Opens the history viewer's dialog offscreen on a command line and writes it
// as a PNG picture.
// Usage: larkplot_render <out.png> [--at YYYY-MM-DDTHH:MM] <Larkplot fields...>
// --at pins the clock (the month shown and the scroll position follow it).
#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/paths.h"
#include "viewer/history_dialog.h"
#include "viewer/viewer_context.h"

namespace {

bool ParseAt(const char* text, lark::WallTime& t) {
  int y, mo, d, h, mi;
  char tail = 0;
  if (std::sscanf(text, "%4d-%2d-%2dT%2d:%2d%c", &y, &mo, &d, &h, &mi, &tail) != 5) return false;
  if (mo < 1 || mo > 12 || d < 1 || d > 31 || h < 0 || h > 23 || mi < 0 || mi > 59) return false;
  t.year = y;
  t.month = mo;
  t.day = d;
  t.hour = h;
  t.minute = mi;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s <out.png> [--at YYYY-MM-DDTHH:MM] <Larkplot fields...>\n",
                 argv[0]);
    return 2;
  }
  const std::string out = argv[1];
  int first = 2;
  lark::SystemClock system;
  lark::WallTime at = system.now();
  if (argc > 3 && std::string(argv[2]) == "--at") {
    if (!ParseAt(argv[3], at)) {
      std::fprintf(stderr, "larkplot_render: --at takes YYYY-MM-DDTHH:MM\n");
      return 2;
    }
    first = 4;
  }
  lark::ViewerArgsResult parsed = lark::ParseViewerArgs(
      std::vector<std::string>(argv + first, argv + argc), std::getenv("LARK_DB_PASSWORD"));
  if (!parsed.args) {
    std::fprintf(stderr, "larkplot_render: %s\n", parsed.error.c_str());
    return 2;
  }
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  int qargc = 1;
  QApplication app(qargc, argv);
  lark::FakeClock clock(0, lark::NormalizeWallTime(at));
  lark::ViewerContext ctx(std::move(*parsed.args), clock);
  std::string error;
  if (ctx.args().fromDatabase && !ctx.ConnectDatabase(&error)) {
    std::fprintf(stderr, "larkplot_render: Login the database failed! %s\n", error.c_str());
    return 2;
  }
  ctx.LoadFolderSettings();
  lark::HistoryDialog dialog(ctx);
  dialog.show();
  QApplication::processEvents();
  if (!dialog.grab().save(QString::fromStdString(out))) {
    std::fprintf(stderr, "larkplot_render: cannot write %s\n", out.c_str());
    return 1;
  }
  if (!ctx.trouble().empty()) std::fprintf(stderr, "larkplot_render: %s\n", ctx.trouble().c_str());
  return 0;
}
