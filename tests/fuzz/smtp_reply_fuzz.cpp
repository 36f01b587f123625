// SMTP replies as a server may send them, split at a point the input picks.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "common/smtp_reply.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view all(reinterpret_cast<const char*>(data), size);
  size_t cut = size > 0 ? data[0] % (size + 1) : 0;
  lark::SmtpReplyReader reader;
  lark::SmtpReply reply;
  for (std::string_view part : {all.substr(0, cut), all.substr(cut)}) {
    reader.feed(part);
    for (;;) {
      auto r = reader.next(&reply);
      if (r != lark::SmtpReplyReader::Result::kComplete) break;
      if (reply.code < 0 || reply.code > 999 || reply.lines.empty()) __builtin_trap();
      (void)reply.offersAuthLogin();
    }
  }
  return 0;
}
