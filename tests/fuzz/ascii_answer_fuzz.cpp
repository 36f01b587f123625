// Fuzz target for the ASCII UPS answer path: the header checks, the field
// decoders, and a whole engine step reading the input as a device's reply.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "core/device_node.h"
#include "devices/ascii_answer.h"
#include "devices/ascii_live_data.h"
#include "devices/ascii_ups.h"

namespace {

using namespace lark;

// A line that hands out the fuzz input as received bytes.
class FuzzPort final : public SerialPort {
 public:
  explicit FuzzPort(std::string bytes) : bytes_(std::move(bytes)) {}
  void purgeReceive() override { pos_ = bytes_.size(); }
  bool failed() const override { return false; }
  void sleepMs(uint32_t) override {}

 protected:
  ssize_t writeSome(CBytes data) override { return static_cast<ssize_t>(data.size()); }
  size_t readTimed(Bytes out, size_t wanted) override {
    size_t n = std::min(wanted, bytes_.size() - pos_);
    std::copy_n(bytes_.data() + pos_, n, out.data());
    pos_ += n;
    return n;
  }

 private:
  std::string bytes_;
  size_t pos_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const bool identifying = (data[0] & 1) != 0;
  const bool sums = (data[0] & 2) != 0;
  const int index = data[1];
  std::string rest(reinterpret_cast<const char*>(data + 2), size - 2);

  CheckAnswerHeader(asBytes(rest), 1);
  AnswerDataLength(asBytes(rest));

  // The decoders on their own, over every query.
  LiveDataBlock block(BlockKind::kAscii);
  block.withImage([&](Bytes b) {
    AsciiImage img(b);
    img.setChecksumFlag(sums);
    img.setEventLogPosition(static_cast<int>(data[0] >> 2));
    AnswerEffects fx;
    if (identifying) {
      ApplyIdentAnswer(img, 1 + index % (kIdentQueryCount - 1), rest, &fx);
    } else {
      ApplyStatusAnswer(img, index % kStatusQueryCount, rest, data[0], &fx);
    }
    ApplyRefusal(img, identifying, rest.substr(0, 3));
  });

  // A whole step, the input being the device's reply.
  UpsEventLogBuffer eventLog;
  AsciiUpsEngine engine(eventLog, nullptr);
  DeviceNode node;
  AllocateNodeBlocks(node);
  node.setCommType(kCommAscii);
  node.setUpsId(1);
  node.setLinkStatus(identifying ? kLinkUnidentified : kLinkIdentified);
  SerialPortRecord rec;
  rec.com = 1;
  rec.port = std::make_unique<FuzzPort>(rest);
  rec.devices[1] = &node;
  std::string code = identifying ? kIdentQueries[static_cast<size_t>(1 + index % 11)]
                                 : kStatusQueries[static_cast<size_t>(index % kStatusQueryCount)];
  rec.setRequest(BuildQueryFrame(1, code, sums), 1);
  for (int i = 0; i < 4; ++i) engine.pollStep(rec, 1, 2);
  return 0;
}
