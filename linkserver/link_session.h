// The records of the console link: console sessions, call-back sessions and
// the overflow session, each with its fixed receive and send buffers.
#pragma once
#include <cstdint>
#include <deque>
#include <vector>

#include "linkserver/link_commands.h"
#include "linkserver/link_frame.h"

namespace lark {

enum class SessionState : uint32_t {
  kFree = 0,
  kListening = 1,  // listener or bound UDP socket
  kConnecting = 2,
  kConnected = 3,
  kOverflow = 5,  // held as the overflow session
};

// Console session: 1 idle, 2 part of a frame in, 3 frame complete (being
// handled), 4 reply being sent. Call-back session: 1 idle, 2 push being sent.
enum SessionPhase : uint32_t {
  kPhaseIdle = 1,
  kPhasePartial = 2,
  kPhaseComplete = 3,
  kPhaseReplying = 4,
  kPhasePushing = 2,
};

struct LinkSession {
  LinkSession() : sendBuffer(kLinkBufferSize), receiveBuffer(kLinkBufferSize) {}

  int index = -1;  // console slot 0..9 while open, -1 when closed
  int fd = -1;
  LinkPeer local;
  LinkPeer peer;
  SessionState state = SessionState::kFree;
  std::vector<uint8_t> sendBuffer;     // kLinkBufferSize, one frame being sent
  size_t sendLength = 0;               // bytes of that frame
  size_t sendPosition = 0;             // bytes already sent
  std::vector<uint8_t> receiveBuffer;  // kLinkBufferSize, bytes not yet handled
  size_t receivedCount = 0;
  uint32_t phase = kPhaseIdle;
  uint32_t receiveStartTick = 0;  // first byte of the frame now being received
  uint32_t sendStartTick = 0;     // start of the reply or push now being sent
  uint32_t openedTick = 0;        // accept or connect start
  uint32_t lastActivityTick = 0;  // accept and every frame with content (monotonic)
  uint16_t protocolVersion = 0;   // the console's link version, 0 until told
  bool helloSeen = false;         // the console has sent a Hello
  // A reply waiting for the database: the request it answers, its number and
  // when it began; the frames behind it wait.
  bool awaiting = false;
  uint32_t awaitSerial = 0;
  uint32_t awaitStartTick = 0;
  std::vector<uint8_t> awaitFrame;

  // Call-back sessions only.
  uint32_t connectPasses = 0;                // one-second passes spent connecting
  bool lockPushPending = false;              // send the lock state once the buffer is free
  std::deque<uint16_t> pendingDevicePushes;  // node ids, each at most once

  bool open() const { return state != SessionState::kFree; }
  bool sending() const { return sendPosition < sendLength; }

  void resetBuffers() { sendLength = sendPosition = receivedCount = 0; }
  // Back to a free record; the caller has closed the socket.
  void clear() {
    index = -1;
    fd = -1;
    local = peer = LinkPeer{};
    state = SessionState::kFree;
    phase = kPhaseIdle;
    protocolVersion = 0;
    helloSeen = false;
    awaiting = false;
    awaitFrame.clear();
    connectPasses = 0;
    lockPushPending = false;
    pendingDevicePushes.clear();
    resetBuffers();
  }
};

}  // namespace lark
