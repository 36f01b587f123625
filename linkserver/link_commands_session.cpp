// Requests the link server answers itself: hello, call-back, version.
#include "linkserver/link_commands.h"

namespace lark {

void HandleHello(LinkRequest& r, LinkFrameBuilder& reply) {
  if (!r.overflow()) {
    // A new console on this slot starts without the last one's login.
    r.services.users[static_cast<size_t>(r.slot)] = LinkSlotUser{};
    reply.beginReply(kLinkCmdHello, kLinkHelloAccepted);
    return;
  }
  // Full: tell the console which address the service sees it from.
  reply.beginReply(kLinkCmdHello, kLinkHelloServerFull);
  uint8_t addr[kSockAddrImageSize];
  PutSockAddrImage(addr, 0, r.peer.address, r.peer.port);
  reply.putBytes(addr);
}

void HandleCallBack(LinkRequest& r, LinkFrameBuilder& reply) {
  const uint16_t port = r.frame.be16(5).value_or(0);
  const bool ok = r.services.host != nullptr && r.services.host->openCallBack(r.slot, port);
  reply.beginReply(kLinkCmdCallBack,
                   ok ? LinkSuccessCode(kLinkCmdCallBack) : LinkFailureCode(kLinkCmdCallBack));
}

void HandleVersion(LinkRequest& r, LinkFrameBuilder& reply) {
  r.protocolVersion = r.frame.be16(5).value_or(0);
  reply.beginReply(kLinkCmdVersion, LinkSuccessCode(kLinkCmdVersion));
  reply.putU8(kServiceLinkVersionMajor);
  reply.putU8(kServiceLinkVersionMinor);
}

}  // namespace lark
