// The pending dialog request's reply timer, as far as the session needs it
// without windows: the hello, and the download of manager.ini and the
// current map into Monitor/ in 32768-byte chunks. A reply is taken when it
// arrives; the timer's ticks keep the time-out.
#include <sys/stat.h>

#include <array>
#include <cstdio>

#include "console/link/service_link.h"
#include "linkserver/link_transfer.h"

namespace lark {

namespace {
constexpr uint32_t kFollowUpPeriodMs = 500;
constexpr uint32_t kFollowUpTimeoutMs = 10000;
}  // namespace

bool ServiceLink::requestChunk(uint8_t command, uint32_t offset) {
  std::array<uint8_t, kFileChunkHeaderSize> header{};
  PutChunkHeader(header, 0, FileChunkHeader{offset, kDownloadChunkSize, session_.currentMap});
  downloading_ = command;
  downloadBusy_ = sendServiceRequest(kFollowUpPeriodMs, command, 0, kFollowUpTimeoutMs, header);
  if (downloadBusy_) chunkOffset_ = offset;
  return downloadBusy_;
}

void ServiceLink::pendingReplyIn(uint32_t sequence) {
  if (pending_.replyFlag != 2 || pending_.sequence != sequence) return;  // taken already
  if (own_.sequence == sequence) {
    onReplyTimer();
  } else if (replyListener_) {
    replyListener_();
  }
}

void ServiceLink::onReplyTimer() {
  if (TickElapsed(clock_.tickMs(), own_.sendTick) > own_.timeoutMs) {
    reactor_.killTimer(kTimerReply);
    own_.sequence = 0;  // over: a late reply is nobody's
    if (own_.command == kLinkCmdHello) {
      resetServiceLink(2, false);  // the connect dialog gives up
    } else if (own_.command == kLinkCmdDownloadSettings || own_.command == kLinkCmdDownloadFile) {
      downloadBusy_ = false;
      requestState(4, 3);
    }
    return;
  }
  if (pending_.replyFlag != 2 || pending_.sequence != own_.sequence) return;
  pending_.replyFlag = 1;
  reactor_.killTimer(kTimerReply);
  own_.sequence = 0;
  const LinkFrameView reply(pending_.reply);
  switch (own_.command) {
    case kLinkCmdHello:
      if (reply.u8(kLinkOffCode) == kLinkHelloAccepted) {
        requestState(2, 2);
        requestState(3, 0);
      } else {
        resetServiceLink(2, false);
      }
      return;
    case kLinkCmdDownloadSettings:
    case kLinkCmdDownloadFile:
      onDownloadChunk(reply, own_.command == kLinkCmdDownloadSettings);
      return;
    default:
      return;
  }
}

std::string DownloadPartPath(const std::string& folder, const std::string& name) {
  return folder + "/" + name + ".part";
}

DownloadStep WriteDownloadChunk(const std::string& folder, const std::string& name, uint32_t offset,
                                CBytes chunk, std::string* path, uint64_t maxSize) {
  // The name comes from the service and names a file of ours: a plain file name only.
  const std::optional<std::string> safe = SafeWireName(name, 1);
  if (!safe) return DownloadStep::kFailed;
  const std::string whole = folder + "/" + *safe;
  const std::string part = DownloadPartPath(folder, *safe);
  auto failed = [&part] {
    std::remove(part.c_str());  // no half file is left to grow or be found
    return DownloadStep::kFailed;
  };
  // More than was asked would put the next offset out of step with the file;
  // past the bound a service that never sends a short piece is cut off.
  if (chunk.size() > kDownloadChunkSize || uint64_t{offset} + chunk.size() > maxSize)
    return failed();
  ::mkdir(folder.c_str(), 0755);
  // The file grows beside its old copy and replaces it whole at the end.
  if (!WriteFileChunk(part, offset != 0, chunk, maxSize)) return failed();
  if (chunk.size() == kDownloadChunkSize) return DownloadStep::kMore;
  if (std::rename(part.c_str(), whole.c_str()) != 0) return failed();
  if (path) *path = whole;
  return DownloadStep::kComplete;
}

void ServiceLink::onDownloadChunk(const LinkFrameView& reply, bool settings) {
  const uint8_t command = settings ? kLinkCmdDownloadSettings : kLinkCmdDownloadFile;
  auto fail = [&] {
    downloadBusy_ = false;
    requestState(4, 3);
  };
  if (reply.u8(kLinkOffCode) != LinkSuccessCode(command)) return fail();
  std::string path;
  switch (WriteDownloadChunk(installDir_ + "/Monitor",
                             settings ? "manager.ini" : session_.currentMap, chunkOffset_,
                             reply.tail(7), &path)) {
    case DownloadStep::kFailed:
      return fail();
    case DownloadStep::kMore:
      if (!requestChunk(command, chunkOffset_ + kDownloadChunkSize)) fail();
      return;
    case DownloadStep::kComplete:
      break;
  }
  if (settings) {
    if (!requestChunk(kLinkCmdDownloadFile, 0)) fail();
    return;
  }
  downloadBusy_ = false;
  configurationDone(path);
}

void ServiceLink::configurationDone(const std::string& mapPath) {
  const int level = session_.accessSwitch != 0 ? session_.userLevel : 2;
  pollHold_ = true;  // the map loader rebuilds the tree
  shell_.configurationLoaded(mapPath);
  pollHold_ = false;
  shell_.updateMenuRights(level);
  requestState(4, 2);
  if (level != 0) requestState(6, 0);
}

}  // namespace lark
