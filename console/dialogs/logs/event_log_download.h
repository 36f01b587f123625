// The download of the service's Event.log for the Event Log dialog without
// the database: command 11 sub 5 asks "<map base>\Event.log" of the
// service's data folder in pieces of 32768 bytes.
//
//   reply frame: 0..5 head  6 sub (5)  7..270 FileChunkHeader (offset, bytes
//                read, name)  271.. the piece
//
// The pieces grow Monitor/Event.log.part beside the last copy, which the
// finished file replaces whole; a piece that cannot be written fails the
// download instead of leaving a file cut short. A piece shorter than 32768
// bytes is the last (a file of a multiple of 32768 ends with an empty one);
// a file growing past kEventLogDownloadMax fails it.
#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "common/bytes.h"
#include "linkserver/link_transfer.h"

namespace lark {

inline constexpr uint32_t kEventLogPiece = 32768;
// Event.log holds 10,000 lines by default, each well under 1,600 bytes: a
// download past this is a service that never sends its last piece.
inline constexpr uint64_t kEventLogDownloadMax = 10000ull * 1600;
inline constexpr size_t kEventLogPieceReplyOff = 7 + kFileChunkHeaderSize;

// The piece of a reply frame asked at `offset`: nothing when the header is
// cut, names another offset, or counts other bytes than the frame carries
// (or more than were asked).
std::optional<CBytes> EventLogPieceOf(CBytes frame, uint32_t offset);

class EventLogDownload {
 public:
  // `monitorDir`: the console's Monitor folder (made when missing).
  explicit EventLogDownload(std::string monitorDir);

  // The request of the first piece of the map's Event.log.
  std::array<uint8_t, kFileChunkHeaderSize> Start(const std::string& mapBase);

  enum class Step { kAskNext, kComplete, kFailed };
  // A success reply of 11/5.
  Step OnReply(CBytes frame);
  // The request of the next piece.
  std::array<uint8_t, kFileChunkHeaderSize> nextRequest() const;

  // The download given up (time-out, the dialog left): its piece file goes.
  void Abandon() const;

  // Monitor/Event.log: the last whole download.
  std::string path() const;

 private:
  std::string monitorDir_;
  std::string name_;     // "<map base>\Event.log" as the service names it
  uint32_t offset_ = 0;  // of the piece asked last
};

}  // namespace lark
