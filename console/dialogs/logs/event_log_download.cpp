#include "console/dialogs/logs/event_log_download.h"

#include <cstdint>
#include <cstdio>

#include "platform/paths.h"

namespace lark {

std::optional<CBytes> EventLogPieceOf(CBytes frame, uint32_t offset) {
  if (frame.size() < kEventLogPieceReplyOff) return std::nullopt;
  const CBytes header = frame.subspan(7, kFileChunkHeaderSize);
  const CBytes piece = frame.subspan(kEventLogPieceReplyOff);
  if (u32At(header, kChunkOffOffset) != offset || u32At(header, kChunkOffLength) != piece.size() ||
      piece.size() > kEventLogPiece)
    return std::nullopt;
  return piece;
}

EventLogDownload::EventLogDownload(std::string monitorDir) : monitorDir_(std::move(monitorDir)) {}

std::string EventLogDownload::path() const { return JoinPath(monitorDir_, "Event.log"); }

void EventLogDownload::Abandon() const { std::remove((path() + ".part").c_str()); }

std::array<uint8_t, kFileChunkHeaderSize> EventLogDownload::Start(const std::string& mapBase) {
  name_ = mapBase + "\\Event.log";
  offset_ = 0;
  return nextRequest();
}

std::array<uint8_t, kFileChunkHeaderSize> EventLogDownload::nextRequest() const {
  std::array<uint8_t, kFileChunkHeaderSize> out{};
  PutChunkHeader(out, 0, FileChunkHeader{offset_, kEventLogPiece, name_});
  return out;
}

EventLogDownload::Step EventLogDownload::OnReply(CBytes frame) {
  const std::optional<CBytes> piece = EventLogPieceOf(frame, offset_);
  const std::string part = path() + ".part";
  if (!piece || !MakeDirs(monitorDir_) ||
      !WriteFileChunk(part, offset_ != 0, *piece, kEventLogDownloadMax)) {
    std::remove(part.c_str());
    return Step::kFailed;
  }
  if (piece->size() == kEventLogPiece) {
    offset_ += kEventLogPiece;  // cannot wrap: the file stops at kEventLogDownloadMax
    return Step::kAskNext;
  }
  return std::rename(part.c_str(), path().c_str()) == 0 ? Step::kComplete : Step::kFailed;
}

}  // namespace lark
