#include "common/status_client.h"

#include <cstring>

namespace lark {

SharedMemory::Created StatusClient::create() {
  auto created = own_.create(ownName_, kSharedViewSize);
  if (created != SharedMemory::Created::kCreated) return created;
  if (!own_.mapWritable()) {
    own_.close();
    return SharedMemory::Created::kFailed;
  }
  own_.lockInMemory();  // best effort
  PutStatusViewHeader(own_.view(), kStatusViewCreated);
  return created;
}

bool StatusClient::attach() {
  server_.close();
  if (!server_.open(serverName_, kSharedViewSize) || !server_.mapReadOnly()) {
    server_.close();
    return false;
  }
  return StatusViewSigned(server_.view());
}

void StatusClient::close() {
  server_.close();
  own_.close();
}

int StatusClient::serverState() const {
  if (server_.view().size() < kStatusViewOffFrame) return -1;
  return LoadStatusViewState(server_.view());
}

bool StatusClient::post(CBytes frame) {
  Bytes view = own_.view();
  if (view.size() < kStatusViewOffFrame || frame.size() > view.size() - kStatusViewOffFrame) {
    return false;
  }
  std::memcpy(view.data() + kStatusViewOffFrame, frame.data(), frame.size());
  setOwnState(kStatusViewRequestReady);
  return true;
}

std::optional<std::vector<uint8_t>> StatusClient::answer() const {
  if (serverState() != kStatusViewAnswerReady) return std::nullopt;
  CBytes frame = server_.view().subspan(kStatusViewOffFrame);
  auto size = StatusFrameSize(frame);
  if (!size || *size > frame.size()) return std::nullopt;
  return std::vector<uint8_t>(frame.begin(), frame.begin() + static_cast<std::ptrdiff_t>(*size));
}

}  // namespace lark
