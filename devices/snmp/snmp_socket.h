// The one datagram socket all SNMP traffic goes through, as the poll round
// sees it: the real one is a non-blocking UDP socket, tests use a fake.
#pragma once
#include <cstdint>

#include "common/bytes.h"

namespace lark {

// Largest UDP payload over IPv4: a whole answer is always read.
inline constexpr size_t kSnmpDatagramMax = 65507;

enum class SnmpReceive {
  kDatagram,  // `length` octets from `address`:`port`
  kNone,      // nothing waiting
  kSkip,      // an error of one datagram (refused, unreachable, interrupted): read on
  kFatal,     // the socket is broken
};

class SnmpSocket {
 public:
  virtual ~SnmpSocket() = default;
  virtual bool isOpen() const = 0;
  // Opens (closing an old socket first); false when it cannot.
  virtual bool open() = 0;
  virtual void close() = 0;
  // A number that names the socket while it is open (the entry keeps it).
  virtual int handle() const = 0;
  // One datagram into `buf` (addresses as in_addr.s_addr, port in host order).
  virtual SnmpReceive receive(Bytes buf, size_t* length, uint32_t* address, uint16_t* port) = 0;
  // False when the datagram was not handed to the network.
  virtual bool send(CBytes datagram, uint32_t address, uint16_t port) = 0;
};

class UdpSnmpSocket final : public SnmpSocket {
 public:
  UdpSnmpSocket() = default;
  ~UdpSnmpSocket() override;
  UdpSnmpSocket(const UdpSnmpSocket&) = delete;
  UdpSnmpSocket& operator=(const UdpSnmpSocket&) = delete;

  bool isOpen() const override { return fd_ >= 0; }
  bool open() override;
  void close() override;
  int handle() const override { return fd_; }
  SnmpReceive receive(Bytes buf, size_t* length, uint32_t* address, uint16_t* port) override;
  bool send(CBytes datagram, uint32_t address, uint16_t port) override;

 private:
  int fd_ = -1;
};

}  // namespace lark
