// Database answers arrive in pages whose headers the service writes: random
// frames fed as a first reply and then as further pages must never write
// outside the result, and a complete result has the first reply's total.
#include <cstdint>
#include <vector>

#include "console/link/result_pages.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace lark;
  // Frames separated by their first byte's length: byte n gives the next n * 8 bytes.
  ResultPages pages;
  bool first = true;
  uint32_t total = 0;
  for (size_t pos = 0; pos < size;) {
    const size_t n = std::min<size_t>(size_t{data[pos]} * 8, size - pos - 1);
    const CBytes frame(data + pos + 1, n);
    pos += 1 + n;
    if (first && frame.size() >= kResultPieceReplyOff)
      total = GetResultPage(frame, kResultPageReplyOff).total;
    const ResultPages::Step step = first ? pages.First(frame) : pages.Next(frame);
    first = false;
    if (step == ResultPages::Step::kBad) {
      if (!pages.text().empty()) __builtin_trap();
      first = true;
    } else if (pages.text().size() != total || total > kResultTextMax) {
      __builtin_trap();
    } else if (step == ResultPages::Step::kAskNext &&
               GetResultPage(pages.nextRequest(), 0).offset >= total) {
      __builtin_trap();  // a finished result never asks on
    }
  }
  return 0;
}
