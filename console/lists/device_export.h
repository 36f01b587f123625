// Export List: the device list's nine chosen columns of every row, TAB
// after each cell, as a text file with CRLF line ends that the desktop then
// opens with the program it associates with the file.
#pragma once
#include <string>

namespace lark {

class ConsoleContext;

// A cell as the export writes it: TAB, CR and LF become blanks, so a cell
// never splits a row.
std::string ExportCellText(std::string text);
// Writes `path` whole (a temp file beside it, renamed), then opens it. A file
// that cannot be written gets a message naming it and the reason.
bool ExportDeviceList(ConsoleContext& ctx, const std::string& path);
// The menu command: asks for the name, then exports.
void ExportDeviceListCommand(ConsoleContext& ctx);

}  // namespace lark
