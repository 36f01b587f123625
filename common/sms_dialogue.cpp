#include "common/sms_dialogue.h"

#include <vector>

#include "common/sms_pdu.h"

namespace lark {

namespace {

constexpr uint32_t kSliceMs = 100;  // read slices, so a stop is seen

bool HasLine(std::string_view answer, std::string_view line) {
  for (size_t at = answer.find(line); at != std::string_view::npos;
       at = answer.find(line, at + 1)) {
    bool startOk = at == 0 || answer[at - 1] == '\n' || answer[at - 1] == '\r';
    size_t end = at + line.size();
    bool endOk = end == answer.size() || answer[end] == '\r' || answer[end] == '\n';
    if (startOk && endOk) return true;
  }
  return false;
}

// Reads until `done` says so, `timeoutMs` have passed on the clock since the
// command went (a modem that never pauses gets no more time than a silent
// one) or a stop; the answer is kept to its last kModemAnswerMax bytes.
template <class Done>
ModemVerdict WaitFor(ModemPort& port, const Clock& clock, uint32_t timeoutMs,
                     const std::atomic<bool>& stop, Done done) {
  const uint32_t start = clock.tickMs();
  std::string answer;
  ModemVerdict v;
  while (!stop.load() && TickElapsed(clock.tickMs(), start) < timeoutMs) {
    std::string got = port.read(256, kSliceMs);
    if (got.empty()) continue;
    answer += got;
    if (answer.size() > kModemAnswerMax) answer.erase(0, answer.size() - kModemAnswerMax);
    v = JudgeModemAnswer(answer);
    if (v.error || done(v)) break;
  }
  return v;
}

}  // namespace

ModemVerdict JudgeModemAnswer(std::string_view answer) {
  ModemVerdict v;
  v.ok = HasLine(answer, "OK");
  v.error = HasLine(answer, "ERROR") || answer.find("+CMS ERROR") != std::string_view::npos ||
            answer.find("+CME ERROR") != std::string_view::npos;
  v.prompt = answer.find("> ") != std::string_view::npos;
  v.cmgs = answer.find("+CMGS:") != std::string_view::npos;
  return v;
}

bool ProbeModem(ModemPort& port, const std::atomic<bool>& stop) {
  for (int i = 0; i < 3 && !stop.load(); ++i) {
    if (!port.write("AT\r")) return false;
    std::string got = port.read(20, kModemProbeMs);
    if (got.find("OK") != std::string::npos) return true;
  }
  return false;
}

std::string CleanSmsText(std::string_view text) {
  std::string s(text);
  for (char& c : s) {
    auto u = static_cast<uint8_t>(c);
    if ((u < 0x20 && c != '\n') || u == 0x7F) c = ' ';
  }
  return s;
}

std::string SendSmsDialogue(ModemPort& port, const SmsRequest& req, const std::atomic<bool>& stop,
                            const Clock& clock) {
  if (!IsValidSmsNumber(req.number)) return "not a phone number";
  // Whatever the probe left unread; a modem that never pauses is not waited for.
  for (int i = 0; i < 8 && !port.read(256, 0).empty(); ++i) {
  }
  if (!port.write(req.pduMode ? "AT+CMGF=0\r" : "AT+CMGF=1\r")) return "the port failed";
  if (!WaitFor(port, clock, kModemCommandMs, stop, [](const ModemVerdict& v) { return v.ok; }).ok) {
    return "no OK to AT+CMGF";
  }
  std::vector<std::pair<std::string, std::string>> parts;  // command, body
  if (req.pduMode) {
    for (const SmsPdu& pdu : EncodeSmsPdu(req.number, req.text, req.ref)) {
      parts.emplace_back("AT+CMGS=" + std::to_string(pdu.octets) + "\r", pdu.hex);
    }
  } else {
    parts.emplace_back("AT+CMGS=\"" + req.number + "\"\r", CleanSmsText(req.text));
  }
  for (const auto& [command, body] : parts) {
    if (!port.write(command)) return "the port failed";
    if (!WaitFor(port, clock, kModemPromptMs, stop, [](const ModemVerdict& v) { return v.prompt; })
             .prompt) {
      port.write("\x1b");  // ends whatever the modem took as the start of a text
      return "no prompt to AT+CMGS";
    }
    if (!port.write(body + '\x1a')) return "the port failed";
    ModemVerdict v = WaitFor(port, clock, kModemSendMs, stop,
                             [](const ModemVerdict& v) { return v.cmgs && v.ok; });
    if (!(v.cmgs && v.ok)) return v.error ? "the modem refused the message" : "no +CMGS and OK";
  }
  return "";
}

}  // namespace lark
