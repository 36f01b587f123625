#include "console/link/result_pages.h"

#include <algorithm>
#include <cstring>

namespace lark {

ResultPages::Step ResultPages::First(CBytes frame) {
  Reset();
  return Take(frame, true);
}

ResultPages::Step ResultPages::Next(CBytes frame) {
  if (!started_) return Step::kBad;
  return Take(frame, false);
}

ResultPages::Step ResultPages::Take(CBytes frame, bool first) {
  auto bad = [this] {
    Reset();
    return Step::kBad;
  };
  if (frame.size() < kResultPieceReplyOff) return bad();
  const ResultPage page = GetResultPage(frame, kResultPageReplyOff);
  const size_t carried = frame.size() - kResultPieceReplyOff;
  if (first) {
    if (page.total > kResultTextMax) return bad();
    text_.assign(page.total, '\0');
    started_ = true;
  }
  // Checked in this order so no sum can wrap: the offset is the one asked
  // (at most the total), the count fits the frame and the rest of the total.
  if (page.total != text_.size() || page.offset != next_ || page.count > carried ||
      page.count > text_.size() - page.offset)
    return bad();
  // The service sends whole pieces of 2000 bytes until the last: a shorter
  // one before the end (an empty one would be asked again for ever, one byte
  // a piece takes millions of round trips) is a peer stalling the dialog.
  if (page.count < std::min<size_t>(kResultPieceAsked, text_.size() - page.offset)) return bad();
  std::memcpy(text_.data() + page.offset, frame.data() + kResultPieceReplyOff, page.count);
  next_ = page.offset + page.count;
  return next_ == text_.size() ? Step::kComplete : Step::kAskNext;
}

std::array<uint8_t, kResultPageSize> ResultPages::nextRequest() const {
  std::array<uint8_t, kResultPageSize> out{};
  PutResultPage(out, 0, {static_cast<uint32_t>(text_.size()), next_, kResultPieceAsked});
  return out;
}

void ResultPages::Reset() {
  text_.clear();
  text_.shrink_to_fit();
  next_ = 0;
  started_ = false;
}

}  // namespace lark
