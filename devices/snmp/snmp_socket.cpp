#include "devices/snmp/snmp_socket.h"

#include <arpa/inet.h>
#include <errno.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace lark {

UdpSnmpSocket::~UdpSnmpSocket() { close(); }

bool UdpSnmpSocket::open() {
  close();
  fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  return fd_ >= 0;
}

void UdpSnmpSocket::close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

SnmpReceive UdpSnmpSocket::receive(Bytes buf, size_t* length, uint32_t* address, uint16_t* port) {
  if (fd_ < 0) return SnmpReceive::kFatal;
  sockaddr_in from{};
  socklen_t fromLen = sizeof from;
  ssize_t n =
      ::recvfrom(fd_, buf.data(), buf.size(), 0, reinterpret_cast<sockaddr*>(&from), &fromLen);
  if (n < 0) {
    switch (errno) {
      case EAGAIN:
        return SnmpReceive::kNone;
      case EINTR:
      case ECONNREFUSED:
      case EHOSTUNREACH:
      case ENETUNREACH:
        return SnmpReceive::kSkip;
      default:
        return SnmpReceive::kFatal;
    }
  }
  *length = static_cast<size_t>(n);
  *address = from.sin_addr.s_addr;
  *port = ntohs(from.sin_port);
  return SnmpReceive::kDatagram;
}

bool UdpSnmpSocket::send(CBytes datagram, uint32_t address, uint16_t port) {
  if (fd_ < 0) return false;
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_addr.s_addr = address;
  to.sin_port = htons(port);
  return ::sendto(fd_, datagram.data(), datagram.size(), MSG_NOSIGNAL,
                  reinterpret_cast<const sockaddr*>(&to), sizeof to) >= 0;
}

}  // namespace lark
