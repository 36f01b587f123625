#include "console/lists/device_export.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "console/lists/device_sort.h"
#include "console/shell/console_context.h"
#include "console/shell/main_window.h"

namespace lark {

namespace {
constexpr const char* kExportFilter = "Excel File(*.XLS)";
constexpr const char* kExportSuffix = "XLS";

void WriteCell(std::FILE* f, const std::string& text) {
  const std::string cell = ExportCellText(text);
  std::fwrite(cell.data(), 1, cell.size(), f);
  std::fputc('\t', f);
}
}  // namespace

std::string ExportCellText(std::string text) {
  for (char& c : text)
    if (c == '\t' || c == '\r' || c == '\n') c = ' ';
  return text;
}

bool ExportDeviceList(ConsoleContext& ctx, const std::string& path) {
  if (path.empty()) return false;
  const std::string temp = path + ".part";
  auto fail = [&](int err) {
    std::remove(temp.c_str());
    ctx.messageBox(ctx.mainWindow, kMainTitle,
                   "The list could not be written to " + path + ": " + std::strerror(err), MB_ICONERROR);
    return false;
  };
  std::FILE* f = std::fopen(temp.c_str(), "wb");
  if (f == nullptr) return fail(errno);
  const MonitorSettings& s = ctx.monitor.settings();
  for (int c = 1; c < kDeviceListColumns; ++c) {
    const int choice = s.columnChoice[static_cast<size_t>(c)];
    WriteCell(f, choice >= 0 && choice < kColumnTitleSlots ? ctx.texts.columns.device[static_cast<size_t>(choice)]
                                                           : std::string());
  }
  std::fputs("\r\n", f);
  CallPoint(ctx.points.refreshDeviceRows, f);
  const bool written = std::ferror(f) == 0;
  const int writeErr = errno;
  if (std::fclose(f) != 0 || !written) return fail(written ? errno : writeErr);
  if (std::rename(temp.c_str(), path.c_str()) != 0) return fail(errno);
  ctx.spawn({"xdg-open", path}, {});
  return true;
}

void ExportDeviceListCommand(ConsoleContext& ctx) {
  ExportDeviceList(ctx, ctx.fileDialog(ctx.mainWindow, kExportFilter, kExportSuffix));
}

}  // namespace lark
