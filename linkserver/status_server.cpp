#include "linkserver/status_server.h"

#include <errno.h>
#include <string.h>

#include "common/byte_writer.h"
#include "core/device_tree.h"
#include "linkserver/link_replies.h"

namespace lark {

int BuildStatusAnswer(DeviceTree& tree, CBytes request, Bytes out, size_t* size) {
  *size = 0;
  StatusRequestFault fault = StatusRequestFault::kNone;
  auto req = ParseStatusRequest(request, &fault);
  if (!req) return fault == StatusRequestFault::kCommand ? kStatusNotDeviceData : kStatusRefused;
  if (out.size() < kStatusOffAnswerData + kStatusCrcSize) return kStatusRefused;
  out[kStatusOffStart] = 1;
  out[kStatusOffKind] = kStatusKindAnswer;
  out[kStatusOffCommand] = req->command;
  out[kStatusOffResult] = kStatusResultFound;
  out[kStatusOffAnswerSub] = req->sub;
  size_t body = kStatusOffAnswerNodeId;
  const DeviceNode* node = Tree_FindNodeById(req->nodeId, &tree.root());
  if (!node) {
    out[kStatusOffResult] = kStatusResultNotFound;
  } else {
    putBe16(out, kStatusOffAnswerNodeId, node->idU16());
    // The data stops where the CRC would no longer fit.
    ByteWriter data(out.subspan(kStatusOffAnswerData,
                                out.size() - kStatusOffAnswerData - kStatusCrcSize));
    PutDeviceData(tree, *node, req->sub, req->count, StatusChannels{0, 1}, data);
    body = kStatusOffAnswerData + data.size();
  }
  *size = SealStatusFrame(out, body);
  return *size ? kStatusAnswered : kStatusRefused;
}

StatusServer::StatusServer(Clock& clock, DeviceTree& tree,
                           std::function<void(std::string_view)> log, StatusServerOptions options,
                           std::function<void(std::string_view)> warn)
    : clock_(clock),
      tree_(tree),
      log_(std::move(log)),
      options_(std::move(options)),
      warn_(std::move(warn)) {}

void StatusServer::ResetStatusSharedMemory() {
  client_.close();
  own_.close();
  state_ = kStatusCreate;
  countdown_ = 0;
  progressTick_ = 0;
}

void StatusServer::CloseStatusSharedMemory() {
  client_.close();
  own_.close();
  if (state_ != kStatusUnusable) state_ = kStatusCreate;
  countdown_ = 0;
}

void StatusServer::OpenStatusSharedMemory() {
  if (state_ == kStatusCreate) {
    if (options_.viewSize < kStatusViewMinSize) {
      state_ = kStatusUnusable;
      return;
    }
    const SharedMemory::Created made = own_.create(options_.ownName, options_.viewSize);
    const int error = errno;
    if (made == SharedMemory::Created::kCreated) {
      state_ = kStatusOwnMade;
    } else {
      if (made == SharedMemory::Created::kInUse) countdown_ = kStatusRetryTicks;
      if (!nameRefusalLogged_ && warn_) {
        nameRefusalLogged_ = true;
        warn_("the status shared memory " + options_.ownName +
              (made == SharedMemory::Created::kInUse || error == EEXIST
                   ? " is held by another program"
                   : " cannot be made: " + std::string(strerror(error))) +
              "; consoles on this machine read the status over the network");
      }
      return;
    }
  }
  if (state_ == kStatusOwnMade) {
    if (!own_.mapWritable()) return;
    if (!own_.lockInMemory() && !lockRefusalLogged_) {
      lockRefusalLogged_ = true;
      if (log_) log_("the status shared memory could not be locked in memory; it stays pageable");
    }
    PutStatusViewHeader(own_.view(), kStatusViewCreated);
    state_ = kStatusOwnMapped;
  }
  if (state_ == kStatusOwnMapped) {
    if (!client_.open(options_.clientName, kStatusViewMinSize)) return;
    state_ = kStatusClientOpened;
  }
  uint8_t head[kStatusViewOffFrame];
  if (state_ == kStatusClientOpened) {
    if (!client_.read(0, head)) return detach();
    state_ = kStatusClientReadable;
  }
  if (state_ == kStatusClientReadable) {
    if (!client_.read(0, head) || !StatusViewSigned(head)) return detach();
    state_ = kStatusAttached;
    StoreStatusViewState(own_.view(), kStatusViewIdle);
    progressTick_ = clock_.tickMs();
  }
}

int StatusServer::AnswerStatusRequest() {
  uint8_t head[kStatusHeadSize];
  if (!client_.read(kStatusViewOffFrame, head)) {
    detach();
    return kStatusViewFault;
  }
  // Never more than the request buffer, nor past the console's object.
  const size_t size = *StatusFrameSize(head);
  if (size > request_.size() || size > client_.size() - kStatusViewOffFrame) return kStatusRefused;
  Bytes request(request_.data(), size);
  if (!client_.read(kStatusViewOffFrame, request)) {
    detach();
    return kStatusViewFault;
  }
  size_t answer = 0;
  const int result =
      BuildStatusAnswer(tree_, request, own_.view().subspan(kStatusViewOffFrame), &answer);
  if (result != kStatusAnswered) return result;
  StoreStatusViewState(own_.view(), kStatusViewAnswerReady);
  progressTick_ = clock_.tickMs();
  return kStatusAnswered;
}

void StatusServer::step() {
  if (countdown_ > 0) --countdown_;
  if (state_ < kStatusAttached && countdown_ < 1) OpenStatusSharedMemory();
  if (state_ != kStatusAttached) return;
  // A console that left (or was replaced by a new one) is let go at once.
  uint8_t theirs = 0;
  if (!client_.ownerAlive() || !client_.read(kStatusViewOffState, Bytes(&theirs, 1))) {
    return detach();
  }
  const bool stalled = TickElapsed(clock_.tickMs(), progressTick_) >= kStatusWatchdogMs;
  switch (LoadStatusViewState(own_.view())) {
    case kStatusViewIdle:
      if (theirs == kStatusViewRequestReady) {
        StoreStatusViewState(own_.view(), kStatusViewAnswering);
        if (AnswerStatusRequest() != kStatusAnswered && state_ == kStatusAttached) {
          StoreStatusViewState(own_.view(), kStatusViewIdle);
          progressTick_ = clock_.tickMs();
        }
      } else if (stalled) {
        detach();
      }
      break;
    case kStatusViewAnswerReady:
      if (theirs == kStatusViewAnswerTaken) {
        StoreStatusViewState(own_.view(), kStatusViewIdle);
        progressTick_ = clock_.tickMs();
      } else if (stalled) {
        detach();
      }
      break;
    default:
      break;
  }
}

}  // namespace lark
