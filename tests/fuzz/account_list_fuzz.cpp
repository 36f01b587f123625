// The account list and the login answer come from the service: any bytes
// parse into rows whose fields hold no row or field separator, whose list
// text has its six columns, and a 68-byte record reads within its fields.
#include <cstdint>
#include <string_view>

#include "console/dialogs/accounts/account_list.h"
#include "linkserver/user_records.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace lark;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  for (const AccountListRow& r : ParseAccountList(text)) {
    for (const std::string* f : {&r.account, &r.realName, &r.level, &r.created, &r.remark})
      if (f->find_first_of("\t\n") != std::string::npos) __builtin_trap();
    if (r.levelNumber < 0 || r.levelNumber > 255) __builtin_trap();
    const std::string row = AccountListText(r, "Operator", "Viewer");
    size_t tabs = 0;
    for (char c : row) tabs += c == '\t';
    if (tabs != 5) __builtin_trap();
  }
  if (size >= kLoginRecordSize) {
    const LoginRecord rec = GetLoginRecord(CBytes(data, size), 0);
    if (rec.account.size() >= kLoginAccountSize || rec.password.size() >= kLoginPasswordSize) __builtin_trap();
  }
  return 0;
}
