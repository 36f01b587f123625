// The batch configuration's readers of card bytes (firmware field,
// downloaded file, the client's log) and its script from operator fields:
// no read past the input, a saved text read back saves the same bytes, and
// a script whose fields pass the checks has exactly its own lines.
#include <algorithm>
#include <cstdint>
#include <string>

#include "console/dialogs/map_edit/batch_config_files.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace lark;
  const std::string text(reinterpret_cast<const char*>(data), size);
  (void)FirmwareOffersFtp(CBytes(data, std::min<size_t>(size, 16)));
  (void)PutConfirmed(text);
  (void)DownloadComplete(text);
  const std::string saved = FileTextOf(EditTextOf(text));
  if (FileTextOf(EditTextOf(saved)) != saved) __builtin_trap();
  if (saved.find("\r\n\r\n") != std::string::npos || saved.starts_with("\r\n")) __builtin_trap();

  // Fields split at the first three 0 bytes: address, account, password.
  FtpTransfer t;
  t.installDir = "/opt/lark";
  std::string* fields[] = {&t.address, &t.account, &t.password};
  size_t field = 0;
  for (char c : text) {
    if (c == '\0' && field < 2)
      ++field;
    else
      fields[field]->push_back(c);
  }
  if (CheckFtpTransfer(t) == 0) {
    const std::string script = FtpScript(t);
    const auto lines = std::count(script.begin(), script.end(), '\n');
    if (lines != (t.password.empty() ? 6 : 5) || script.find('\r') != std::string::npos)
      __builtin_trap();
  }
  return 0;
}
