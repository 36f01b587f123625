// A modem's answers as the SMS dialogue reads them: the verdict on any bytes,
// and a whole dialogue against a modem that answers with the input.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

#include "common/sms_dialogue.h"
#include "platform/clock.h"

namespace {

class InputModem final : public lark::ModemPort {
 public:
  InputModem(const uint8_t* data, size_t size, lark::FakeClock& clock)
      : rest_(reinterpret_cast<const char*>(data), size), clock_(clock) {}
  bool write(std::string_view) override { return true; }
  // Each read takes its wait on the clock, so the dialogue's time-outs pass.
  std::string read(size_t max, uint32_t firstMs) override {
    clock_.advance(firstMs);
    std::string out = rest_.substr(0, std::min(max, rest_.size() / 3 + 1));
    rest_.erase(0, out.size());
    return out;
  }

 private:
  std::string rest_;
  lark::FakeClock& clock_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  (void)lark::JudgeModemAnswer(std::string_view(reinterpret_cast<const char*>(data), size));
  lark::FakeClock clock;
  InputModem modem(data, size, clock);
  std::atomic<bool> stop{false};
  lark::SmsRequest req{"+123", "text \xc3\xa9", size % 2 == 0, 1};
  if (lark::ProbeModem(modem, stop)) (void)lark::SendSmsDialogue(modem, req, stop, clock);
  return 0;
}
