// Fuzz target for the GPRS station input: the frame check over the bytes as
// received, then every complete frame's report parsed and applied to a
// GprsLiveData image.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "core/live_data.h"
#include "devices/gprs/gprs_frame.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace lark;
  std::string_view buf(reinterpret_cast<const char*>(data), size);
  LiveDataBlock blk(BlockKind::kGprs);
  std::vector<uint8_t> image = blk.copyOut();
  uint8_t state = 0;
  // Unframed, as a report.
  for (const GprsItem& item : ParseGprsReport(buf)) ApplyGprsItem(item, image, state);
  while (!buf.empty()) {
    GprsFrameCheck c = CheckGprsFrame(buf.substr(0, kGprsMaxFrame));
    if (c.status != GprsFrameCheck::kComplete) break;
    if (c.length > buf.size()) __builtin_trap();
    for (const GprsItem& item : ParseGprsReport(GprsReportOf(buf, c.length))) {
      ApplyGprsItem(item, image, state);
    }
    buf.remove_prefix(c.length);
  }
  if (image.size() != kGprsLiveDataSize) __builtin_trap();
  return 0;
}
