// The console link frame: one format on every TCP connection of the link and
// on the discovery socket. Header fields are big-endian.
//
//   offset  0    1    2    3    4        5 ...
//          +----+----+----+----+--------+------------------------------+
//          | 01 |kind| length  |command | request data / reply code... |
//          +----+----+----+----+--------+------------------------------+
//   kind 1 request, 2 reply; length = bytes after offset 3 (frame = length + 4).
//   Byte 0 is sent as 1 and not checked on receipt.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "common/bytes.h"

namespace lark {

inline constexpr size_t kLinkBufferSize = 71680;  // buffer per direction on both sides
inline constexpr size_t kLinkHeaderSize = 4;      // start, kind, length
inline constexpr size_t kLinkOffStart = 0;
inline constexpr size_t kLinkOffKind = 1;
inline constexpr size_t kLinkOffLength = 2;
inline constexpr size_t kLinkOffCommand = 4;
inline constexpr size_t kLinkOffCode = 5;  // reply code; request: first data byte (sub)
inline constexpr size_t kLinkOffData = 6;  // reply data
inline constexpr uint8_t kLinkStartByte = 1;
inline constexpr uint8_t kLinkKindRequest = 1;
inline constexpr uint8_t kLinkKindReply = 2;
inline constexpr uint8_t kLinkFirstCommand = 1;
inline constexpr uint8_t kLinkLastCommand = 34;

// A frame's whole size can never exceed the buffer: 0xFFFF + 4 < 71680.
static_assert(0xFFFF + kLinkHeaderSize <= kLinkBufferSize);

enum LinkCommand : uint8_t {
  kLinkCmdHello = 1,
  kLinkCmdGetMapList = 2,
  kLinkCmdOpenMap = 3,
  kLinkCmdDownloadSettings = 4,
  kLinkCmdDownloadFile = 5,
  kLinkCmdGetDeviceData = 6,
  kLinkCmdCallBack = 7,
  kLinkCmdSaveMap = 8,
  kLinkCmdNewMap = 9,
  kLinkCmdSetAutoLoadMap = 10,
  kLinkCmdEventLog = 11,
  kLinkCmdUserDatabase = 12,
  kLinkCmdAddNode = 13,
  kLinkCmdSetNodeProperties = 14,
  kLinkCmdSetGroupPicture = 15,
  kLinkCmdCutNode = 16,
  kLinkCmdPasteNode = 17,
  kLinkCmdRemoveNode = 18,
  kLinkCmdSetPolling = 19,
  kLinkCmdNotifySettings = 20,
  kLinkCmdEventTables = 21,
  kLinkCmdHistoryReport = 22,
  kLinkCmdStopAllAlarms = 23,
  kLinkCmdControlPassword = 24,
  kLinkCmdTrafficMonitor = 25,
  kLinkCmdControlDevice = 26,
  kLinkCmdSetLanguage = 27,
  kLinkCmdDeviceSettings = 28,
  kLinkCmdSetSchedule = 29,
  kLinkCmdMoveIcon = 30,
  kLinkCmdSyncImages = 31,
  kLinkCmdUploadFile = 32,
  kLinkCmdVersion = 33,
  kLinkCmdTestSound = 34,
};

// Command c answers 2c - 1 on success and 2c on failure.
inline constexpr uint8_t LinkSuccessCode(uint8_t command) {
  return static_cast<uint8_t>(2 * command - 1);
}
inline constexpr uint8_t LinkFailureCode(uint8_t command) {
  return static_cast<uint8_t>(2 * command);
}
inline constexpr uint8_t kLinkHelloAccepted = 1;
inline constexpr uint8_t kLinkHelloServerFull = 2;

// Pushes the service sends over a console's call-back connection (kind 1).
inline constexpr uint8_t kLinkPushDeviceState = 1;
inline constexpr uint8_t kLinkPushControlLock = 2;

// The discovery request a console broadcasts to UDP 9000, and the answer.
inline constexpr uint8_t kDiscoverRequest[5] = {1, 1, 0, 1, 1};
inline constexpr uint8_t kDiscoverAnswer[6] = {1, 2, 0, 2, 1, 1};

// Whole size of the frame at the start of `buffered`, once its length field
// is in; nullopt while fewer than 4 bytes are buffered.
inline std::optional<size_t> LinkFrameSize(CBytes buffered) {
  if (buffered.size() < kLinkHeaderSize) return std::nullopt;
  return static_cast<size_t>(be16At(buffered, kLinkOffLength)) + kLinkHeaderSize;
}

// A complete frame, bounded to its own length field: nothing past the frame
// is visible, and every read outside it fails cleanly.
class LinkFrameView {
 public:
  // `frame` must hold at least the header; it is cut to length + 4.
  explicit LinkFrameView(CBytes frame);

  size_t size() const { return bytes_.size(); }
  CBytes bytes() const { return bytes_; }
  uint8_t kind() const { return bytes_[kLinkOffKind]; }
  // 0 when the frame has no command byte (length 0).
  uint8_t command() const { return size() > kLinkOffCommand ? bytes_[kLinkOffCommand] : 0; }

  bool has(size_t off, size_t n) const { return off <= size() && n <= size() - off; }
  // Byte at `off`, or `fallback` past the end.
  uint8_t u8(size_t off, uint8_t fallback = 0) const {
    return off < size() ? bytes_[off] : fallback;
  }
  std::optional<uint16_t> be16(size_t off) const;
  std::optional<uint16_t> le16(size_t off) const;
  std::optional<uint32_t> le32(size_t off) const;
  // `n` bytes at `off`, or an empty span when they are not all inside.
  CBytes slice(size_t off, size_t n) const;
  // Everything from `off` to the end of the frame (empty past it).
  CBytes tail(size_t off) const;

 private:
  CBytes bytes_;
};

// Builds one frame into a caller's fixed buffer (no allocation). Appends past
// the buffer are refused and mark the builder as overflowed; finish() then
// reports failure instead of sending a cut frame.
class LinkFrameBuilder {
 public:
  explicit LinkFrameBuilder(Bytes buffer) : buf_(buffer) {}

  // Starts a frame: start byte, kind, command. Clears earlier content.
  void begin(uint8_t kind, uint8_t command);
  // Starts a reply frame with its code at byte 5.
  void beginReply(uint8_t command, uint8_t code) {
    begin(kLinkKindReply, command);
    putU8(code);
  }
  bool started() const { return size_ > 0; }
  size_t size() const { return size_; }
  size_t room() const { return buf_.size() - size_; }
  bool overflowed() const { return overflow_; }
  uint8_t command() const { return size_ > kLinkOffCommand ? buf_[kLinkOffCommand] : 0; }

  bool putU8(uint8_t v);
  bool putBe16(uint16_t v);
  bool putBytes(CBytes data);
  bool putZeros(size_t n);
  // The free bytes after the frame so far, at most `limit`: fill them, then
  // advance() over what was written.
  Bytes spare(size_t limit) const;
  bool advance(size_t n);
  // Replaces the reply code (byte 5) of a started reply.
  void setCode(uint8_t code);
  uint8_t code() const { return size_ > kLinkOffCode ? buf_[kLinkOffCode] : 0; }
  // Writes the length field; returns the whole frame size, 0 when nothing
  // valid was built (not started, overflowed, or longer than the field holds).
  size_t finish();
  void reset() {
    size_ = 0;
    overflow_ = false;
  }

 private:
  Bytes buf_;
  size_t size_ = 0;
  bool overflow_ = false;
};

// The 16-byte IPv4 socket address image a console expects (the Windows
// layout): family 2 little-endian, port and address in network order, 8 zeros.
inline constexpr size_t kSockAddrImageSize = 16;
void PutSockAddrImage(Bytes out, size_t off, uint32_t addressHostOrder, uint16_t portHostOrder);

}  // namespace lark
