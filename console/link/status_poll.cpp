// Status polls through the status shared memory when console and service
// share the computer: the attach steps, the request posted in the console's
// view and the answer read from the service's object by bounded reads.
#include <array>

#include "common/status_frame.h"
#include "console/link/device_data.h"
#include "console/link/request_frame.h"
#include "console/link/service_link.h"

namespace lark {

namespace {
constexpr uint32_t kBusyRoundsLimit = 45;
constexpr uint32_t kStatusPollTimeoutMs = 4500;
constexpr size_t kAnswerMax = kSharedViewSize - kStatusViewOffFrame;
}  // namespace

void ServiceLink::attachStatusSharedMemory() {
  if (attachStep_ == 255 || attachStep_ == 5) return;
  if (attachStep_ < 2) {
    status_ = std::make_unique<StatusClient>(options_.statusClientObject, options_.statusServerObject);
    // Another console on this computer holds the object: stay on TCP, try again later.
    if (status_->create() != SharedMemory::Created::kCreated) {
      status_.reset();
      attachStep_ = 0;
      return;
    }
    attachStep_ = 2;
  }
  if (status_->attach()) {
    attachStep_ = 5;
    missCounter_ = 0;
  }
}

void ServiceLink::detachStatusSharedMemory() {
  if (status_) status_->close();
  status_.reset();
  if (attachStep_ != 255) attachStep_ = 0;
}

void ServiceLink::sendStatusRequest(CBytes data) {
  if (shmMode_ && attachStep_ == 5) {
    std::array<uint8_t, 16> frame{};
    const size_t n = BuildStatusRequest(frame, kStatusCommandDeviceData, 3, data);
    if (status_->serverState() != kStatusViewIdle) {
      if (++missCounter_ >= kBusyRoundsLimit) {
        detachStatusSharedMemory();
        missCounter_ = 0;
      }
      return;
    }
    if (n == 0 || !status_->post(CBytes(frame.data(), n))) {
      detachStatusSharedMemory();
      return;
    }
    pollOutstanding_ = true;
    pollTick_ = clock_.tickMs();
    return;
  }
  const std::vector<uint8_t> frame = BuildRequestFrame(kLinkCmdGetDeviceData, 3, data);
  if (queues_.put(0, kReplyQueue, kRequestQueue, kKindRequest, kLinkCmdGetDeviceData, kStatusPollTimeoutMs, 0,
                  frame)) {
    pollOutstanding_ = true;
    pollTick_ = clock_.tickMs();
  }
}

void ServiceLink::exchangeStep() {
  if (!shmMode_ || attachStep_ != 5 || !pollOutstanding_) return;
  uint8_t state = 0;
  if (!status_->readServer(kStatusViewOffState, std::span<uint8_t>(&state, 1))) {
    detachStatusSharedMemory();
    return;
  }
  if (state != kStatusViewAnswerReady) return;
  status_->setOwnState(kStatusViewReading);
  applyStatusAnswer();
  if (attachStep_ == 5) {
    status_->setOwnState(kStatusViewAnswerTaken);
    pollOutstanding_ = false;
  }
}

void ServiceLink::applyStatusAnswer() {
  uint8_t head[kStatusHeadSize];
  if (!status_->readServer(kStatusViewOffFrame, head)) {
    detachStatusSharedMemory();
    return;
  }
  missCounter_ = 0;
  const size_t total = *StatusFrameSize(head);
  if (total > kAnswerMax) return;  // a length past the view is refused, never copied
  std::vector<uint8_t> frame(total);
  if (!status_->readServer(kStatusViewOffFrame, frame)) {
    detachStatusSharedMemory();
    return;
  }
  const std::optional<StatusAnswer> a = ParseStatusAnswer(frame);
  if (!a || a->command != kStatusCommandDeviceData || !a->nodeId) return;
  DeviceNode* node = Tree_FindNodeById(*a->nodeId, &tree_.root());
  if (node != nullptr) ApplyDeviceDataForm(tree_.root(), *node, a->sub, a->data);
}

}  // namespace lark
