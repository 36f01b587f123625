// One SMS through a GSM modem, judged by the modem's answers:
//
//   AT\r                      up to 3 probes, 1 s each, until "OK"
//   AT+CMGF=1\r (text) / =0   "OK"
//   AT+CMGS="<n>"\r / =<len>  "> " before anything of the text goes
//   text or PDU, Ctrl-Z       "+CMGS: <ref>" and "OK" within 60 s
//
// "ERROR" or "+CMS ERROR" ends the try. A part of a linked message is one
// AT+CMGS each.
#pragma once
#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/modem_port.h"
#include "platform/clock.h"

namespace lark {

inline constexpr uint32_t kModemProbeMs = 1000;
inline constexpr uint32_t kModemCommandMs = 5000;
inline constexpr uint32_t kModemPromptMs = 10000;
inline constexpr uint32_t kModemSendMs = 60000;
inline constexpr size_t kModemAnswerMax = 1024;  // an answer kept while waiting

// What an answer collected so far says.
struct ModemVerdict {
  bool ok = false;      // a line "OK"
  bool error = false;   // "ERROR" or "+CMS ERROR: n" / "+CME ERROR: n"
  bool prompt = false;  // "> "
  bool cmgs = false;    // "+CMGS: n"
};
ModemVerdict JudgeModemAnswer(std::string_view answer);

// "AT\r" up to three times; true at the first answer holding "OK".
bool ProbeModem(ModemPort& port, const std::atomic<bool>& stop);

struct SmsRequest {
  std::string number;  // valid by IsValidSmsNumber
  std::string text;
  bool pduMode = false;  // else text mode, which then carries printable ASCII and LF only
  uint8_t ref = 0;       // reference of a linked message
};

// The dialogue after a successful probe; each step's time-out runs on `clock`
// from the moment its command went. Returns "" when the modem took the whole
// message, else why not.
std::string SendSmsDialogue(ModemPort& port, const SmsRequest& req, const std::atomic<bool>& stop,
                            const Clock& clock);

// Text for the modem's text mode: control characters other than LF become
// spaces (Ctrl-Z, ESC and CR would end or abort the message).
std::string CleanSmsText(std::string_view text);

}  // namespace lark
