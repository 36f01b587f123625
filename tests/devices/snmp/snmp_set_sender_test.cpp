// UPS commands of the fan-out to a maker-MIB SNMP device through the device
// table's real UDP socket, with a loopback agent: the SetRequest on the wire,
// decoded with our codec, and the agent's answer taken by the next round.
#include "devices/snmp_set_sender.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "devices/snmp/snmp_live_data.h"
#include "tests/devices/snmp/snmp_fixture.h"
#include "tests/support/scripted_serial_port.h"
#include "tests/support/temp_dir.h"

namespace lark {
namespace {

// A UDP peer on 127.0.0.1 at a port of the system's choosing.
class LoopbackAgent {
 public:
  LoopbackAgent() : fd_(socket(AF_INET, SOCK_DGRAM, 0)) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    timeval wait{2, 0};
    setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    socklen_t len = sizeof a;
    EXPECT_EQ(bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    EXPECT_EQ(getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len), 0);
    port_ = ntohs(a.sin_port);
  }
  ~LoopbackAgent() { ::close(fd_); }
  uint16_t port() const { return port_; }
  // The next datagram (empty after the wait) and where it came from.
  std::vector<uint8_t> receive() {
    std::vector<uint8_t> buf(kSnmpDatagramMax);
    socklen_t len = sizeof from_;
    ssize_t n = recvfrom(fd_, buf.data(), buf.size(), 0, reinterpret_cast<sockaddr*>(&from_), &len);
    buf.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return buf;
  }
  void answer(CBytes datagram) {
    sendto(fd_, datagram.data(), datagram.size(), 0, reinterpret_cast<sockaddr*>(&from_),
           sizeof from_);
  }

 private:
  int fd_;
  uint16_t port_ = 0;
  sockaddr_in from_{};
};

class SnmpSetSenderTest : public ::testing::Test {
 protected:
  SnmpSetSenderTest()
      : monitor_(clock_, dir_.path()),
        table_(tree_, socket_, nullptr, clock_, monitor_),
        ports_(opener_, nullptr, nullptr, SerialPollConfig{300, 3000}),
        sender_(table_),
        fanOut_(ports_, tree_, clock_, [](uint32_t) {}) {
    Tree_ResetRoot(tree_);
    node_ = Tree_CreateNode(tree_, kNodeSnmp, "127.0.0.1");
    node_->setMibType(kMibMakerUps);
    node_->setPort(agent_.port());
    node_->setCommunity("private");
    EXPECT_TRUE(table_.AddSnmpDevice(*node_));
    table_.setSettings(SnmpPollSettings{100, 60, 15});  // every round an exchange
    EXPECT_TRUE(table_.openSocket());
    fanOut_.setSnmpSender(&sender_);
  }

  test::TempDir dir_;
  FakeClock clock_{5000};
  UdpSnmpSocket socket_;
  DeviceTree tree_;
  SnmpTrafficMonitor monitor_;
  SnmpDeviceTable table_;
  test::ScriptedPortOpener opener_;
  PortTable ports_;
  SnmpTableSetSender sender_;
  UpsCommandFanOut fanOut_;
  LoopbackAgent agent_;
  DeviceNode* node_ = nullptr;
};

TEST_F(SnmpSetSenderTest, CommandGoesOutAsSetRequestAndItsAnswerIsTaken) {
  struct Case {
    int code;
    int32_t arg1, arg2;
    std::string name;  // maker group.item
    int32_t value;
  };
  const Case cases[] = {
      {1611, 0, 0, "8.1", 3},    // battery test
      {1615, 0, 0, "3.1", 1},    // buzzer off
      {1619, 45, -1, "2.4", 45}, // restart only: no shutdown follows
  };
  EXPECT_EQ(sender_.deviceIds(), std::vector<int16_t>{node_->id()});
  int32_t lastId = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    ASSERT_EQ(fanOut_.SendDeviceControl(*node_, c.code, c.arg1, c.arg2), 1);
    // The rounds' own GetRequests may come first.
    std::vector<uint8_t> wire;
    SnmpCodec set;
    do {
      wire = agent_.receive();
      ASSERT_FALSE(wire.empty());
      ASSERT_EQ(SnmpDecodeMessage(set, wire), 0);
    } while (set.message.pdu != kPduSetRequest);
    EXPECT_EQ(std::string(set.message.community.begin(), set.message.community.end()), "private");
    EXPECT_GT(set.message.requestId, lastId);  // the table's counter, never reused
    lastId = set.message.requestId;
    ASSERT_EQ(set.bindings().size(), 1u);
    EXPECT_EQ(test::ShortName(set.bindings()[0].name), c.name);
    EXPECT_EQ(set.bindings()[0].type, kBerInteger);
    EXPECT_EQ(set.bindings()[0].integer, c.value);
    EXPECT_EQ(table_.entry(0).lastSetId, set.message.requestId);

    // The agent echoes the binding in a GetResponse.
    SnmpCodec reply;
    reply.message.community = set.message.community;
    reply.message.pdu = kPduGetResponse;
    reply.message.requestId = set.message.requestId;
    ASSERT_TRUE(reply.addInteger(set.bindings()[0].name, c.value));
    CBytes bytes;
    ASSERT_EQ(SnmpEncodeMessage(reply, &bytes), 0);
    agent_.answer(bytes);
    for (int i = 0; i < 20 && table_.entry(0).lastSetId != 0; ++i) {
      table_.round();
      clock_.advance(100);
    }
    EXPECT_EQ(table_.entry(0).lastSetId, 0);  // accepted and applied
  }
}

}  // namespace
}  // namespace lark
