// The pages of a database answer: the service keeps a query's text and sends
// it in pieces, each reply carrying a ResultPage record and the piece.
//
//   ResultPage, 12 bytes, little-endian:
//   offset 0 u32 total bytes of the result   4 u32 first byte of this piece
//          8 u32 bytes in this piece
//
//   reply frame:  0..5 head  6 sub  7..18 ResultPage  19.. the piece
//
// The first piece comes with the query's own reply (total, 0, min(total,
// 2000)); the console asks each further one with command 12 sub 12 and the
// record (total, offset + count, 2000). The record is outside data: a piece
// is taken only at the offset asked, with the total of the first reply, its
// bytes inside the frame and no fewer than min(2000, the rest), so a bad
// header can neither write outside the result nor stretch it over endless
// round trips.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/bytes.h"
#include "linkserver/user_records.h"

namespace lark {

inline constexpr size_t kResultPageReplyOff = 7;  // the record in a reply frame
inline constexpr size_t kResultPieceReplyOff = kResultPageReplyOff + kResultPageSize;
inline constexpr uint32_t kResultPieceAsked = 2000;
// The service cuts a query's text at 5 MB; a larger total is refused.
inline constexpr uint32_t kResultTextMax = 5 * 1024 * 1024;

class ResultPages {
 public:
  enum class Step {
    kAskNext,   // a piece was taken; ask nextRequest()
    kComplete,  // the whole result is in text()
    kBad,       // the reply is refused; the result is dropped
  };

  // The query's own reply (11/2, 11/4, 12/13): starts a new result.
  Step First(CBytes frame);
  // A reply of 12/12.
  Step Next(CBytes frame);

  // The payload of the next 12/12 request.
  std::array<uint8_t, kResultPageSize> nextRequest() const;
  // The result so far (whole once complete).
  std::string_view text() const { return text_; }
  void Reset();

 private:
  Step Take(CBytes frame, bool first);

  std::string text_;   // sized to the total at the first piece
  uint32_t next_ = 0;  // the offset the next piece must have
  bool started_ = false;
};

}  // namespace lark
