// An SNMPv1 agent simulator for tests and the demo: one process answers Get
// and Set on many 127.0.0.0/8 addresses at once, one UDP socket per agent.
//
//   snmp_sim SCRIPT
//
// The script, re-read on SIGHUP (request counts survive by agent name):
//   agent NAME ADDRESS[:PORT] FAMILY [community=TEXT] [missing=null|nosuchname]
//         FAMILY: system (the MIB-II system group), maker (the maker's UPS
//         MIB), device (the maker's device MIB: inverter units, sensor unit
//         100), upsmib (the standard UPS-MIB). Port 161 by default; missing
//         objects answer NULL in the maker family, noSuchName in the others.
//   unit NAME N                 a device-MIB unit (inverter N, or 100 the sensor)
//   value NAME OID TYPE VALUE   TYPE as snmpset: i u c t s o a
//   drop NAME OID               the agent lacks this object
//   alarm NAME OID PERIOD       INTEGER 0 for PERIOD requests, then 1, and so on
//   fault NAME KIND [ARG]       every answer of the agent: silence, late MS,
//         wrongid, otherport, big (over 1024 octets), garbage, trap (a trap
//         first, then the answer), getrequest (a GetRequest as the answer)
// Words in double quotes may hold blanks; "#" starts a comment line.
//
// Prints "ready" once every agent is bound; on SIGUSR1 and at exit (SIGTERM,
// SIGINT) one line per agent: "requests NAME ADDRESS:PORT N gap MS", MS the
// longest pause between two of its requests.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "devices/snmp/snmp_codec.h"
#include "devices/snmp/snmp_entry.h"
#include "devices/snmp/snmp_objects.h"
#include "devices/snmp/snmp_samples.h"

namespace {

using namespace lark;
using Arcs = std::vector<uint32_t>;

struct Value {
  uint8_t type = kBerInteger;
  int32_t integer = 0;
  std::string octets;  // OCTET STRING, IpAddress
  Arcs oid;
};

struct Alarm {
  Arcs oid;
  long period = 1;
};

struct Agent {
  std::string name, family, community = "public";
  in_addr address{};
  uint16_t port = 161;
  bool nullForMissing = false;
  std::map<Arcs, Value> values;
  std::vector<Alarm> alarms;
  std::string fault;
  long faultArg = 0;
  int fd = -1, otherFd = -1;
};

struct Pending {
  std::chrono::steady_clock::time_point due;
  int fd;
  sockaddr_in to;
  std::vector<uint8_t> bytes;
};

// ---- script ----------------------------------------------------------------

std::vector<std::string> Words(const std::string& line) {
  std::vector<std::string> out;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
    if (i >= line.size()) break;
    std::string w;
    if (line[i] == '"') {
      size_t end = line.find('"', i + 1);
      if (end == std::string::npos) end = line.size();
      w = line.substr(i + 1, end - i - 1);
      i = end + 1;
    } else {
      while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') w += line[i++];
    }
    out.push_back(w);
  }
  return out;
}

bool ParseArcs(const std::string& text, Arcs* out) {
  uint32_t arcs[kMaxOidArcs];
  size_t n = 0;
  if (!ParseOidText(text, arcs, &n)) return false;
  out->assign(arcs, arcs + n);
  return true;
}

bool ParseValue(const std::string& type, const std::string& text, Value* v) {
  if (type.size() != 1) return false;
  char* end = nullptr;
  switch (type[0]) {
    case 'i':
      v->type = kBerInteger;
      v->integer = static_cast<int32_t>(strtol(text.c_str(), &end, 10));
      return *end == 0 && !text.empty();
    case 'u':
    case 'c':
    case 't':
      v->type = type[0] == 'u' ? kBerGauge32 : type[0] == 'c' ? kBerCounter32 : kBerTimeTicks;
      v->integer = static_cast<int32_t>(strtoul(text.c_str(), &end, 10));
      return *end == 0 && !text.empty();
    case 's':
      v->type = kBerOctetString;
      v->octets = text;
      return true;
    case 'o':
      v->type = kBerOid;
      return ParseArcs(text, &v->oid);
    case 'a': {
      in_addr a{};
      if (inet_pton(AF_INET, text.c_str(), &a) != 1) return false;
      v->type = kBerIpAddress;
      v->octets.assign(reinterpret_cast<const char*>(&a), 4);
      return true;
    }
    default:
      return false;
  }
}

Value Int(int32_t v, uint8_t type = kBerInteger) { return Value{type, v, {}, {}}; }
Value Str(std::string s) { return Value{kBerOctetString, 0, std::move(s), {}}; }
Value ObjectId(Arcs a) { return Value{kBerOid, 0, {}, std::move(a)}; }
Arcs ToArcs(const OidRef& r) { return Arcs(r.arcs.begin(), r.arcs.begin() + static_cast<long>(r.count)); }

// What every family answers before the script's values.
void FamilyDefaults(Agent& a) {
  auto sys = [&](uint32_t item, Value v) { a.values[ToArcs(SystemOid(item))] = std::move(v); };
  sys(1, Str("Larkcore SNMP simulator (" + a.family + ")"));
  sys(3, Int(12345, kBerTimeTicks));
  sys(kItemSysContact, Str("operator@example.net"));
  sys(kItemSysName, Str(a.name));
  sys(kItemSysLocation, Str("rack 1"));
  Arcs ipEntry = {1, 3, 6, 1, 2, 1, 4, 20, 1, 1};
  const uint8_t* ip = reinterpret_cast<const uint8_t*>(&a.address);
  ipEntry.insert(ipEntry.end(), ip, ip + 4);
  a.values[ipEntry] = Value{kBerIpAddress, 0, std::string(reinterpret_cast<const char*>(ip), 4), {}};

  if (a.family == "maker") {
    sys(kItemSysObjectId, ObjectId({1, 3, 6, 1, 4, 1, kMakerEnterprise, 2, 4}));
    for (int g = 1; g <= kMakerGroupCount; ++g) {
      for (int i = 1; i <= kSnmpGroupSizes[g]; ++i) {
        a.values[ToArcs(MakerOid(g, i))] = Int(lark::MakerSampleValue(g, i));
      }
    }
    a.values[ToArcs(MakerOid(1, 1))] = Str("SIM-UPS");
    a.values[ToArcs(MakerOid(1, 2))] = Str("3000VA");
    a.values[ToArcs(MakerOid(1, 3))] = Str("SN0001");
    a.values[ToArcs(MakerOid(1, 4))] = Str("2.1c");
    a.values[ToArcs(MakerOid(1, 6))] = Str("simulated maker UPS");
    a.values[ToArcs(MakerOid(1, 19))] = Int(1);
    a.values[ToArcs(MakerOid(1, kMakerIdentItem))] = Int(5);
    a.values[ToArcs(MakerOid(7, 10))] = Str("BAT-01");
    a.values[ToArcs(MakerOid(7, 11))] = Str("20301231");
  } else if (a.family == "device") {
    sys(kItemSysObjectId, ObjectId({1, 3, 6, 1, 4, 1, kMakerEnterprise, 2, 20}));
  } else if (a.family == "upsmib") {
    sys(kItemSysObjectId, ObjectId({1, 3, 6, 1, 2, 1, 33}));
    auto ups = [&](Arcs tail, Value v) {
      Arcs o = {1, 3, 6, 1, 2, 1, 33, 1};
      o.insert(o.end(), tail.begin(), tail.end());
      a.values[o] = std::move(v);
    };
    ups({1, 1, 0}, Str("Sim Power"));
    ups({1, 2, 0}, Str("SP-1000"));
    ups({2, 1, 0}, Int(2));                 // upsBatteryStatus: normal
    ups({2, 2, 0}, Int(0));                 // upsSecondsOnBattery
    ups({2, 3, 0}, Int(45));                // upsEstimatedMinutesRemaining
    ups({2, 4, 0}, Int(100));               // upsEstimatedChargeRemaining
    ups({3, 1, 0}, Int(0, kBerCounter32));  // upsInputLineBads
    ups({4, 1, 0}, Int(3));                 // upsOutputSource: normal
    ups({4, 2, 0}, Int(500));               // upsOutputFrequency
    ups({6, 1, 0}, Int(0, kBerGauge32));    // upsAlarmsPresent
  } else {
    sys(kItemSysObjectId, ObjectId({1, 3, 6, 1, 4, 1, 99999, 1}));
  }
}

void AddUnit(Agent& a, uint32_t unit) {
  for (int g = 1; g <= kDeviceGroupCount; ++g) {
    for (int i = 1; i <= kDeviceGroupSizes[static_cast<size_t>(g - 1)]; ++i) {
      if (unit == kSensorUnit && !(g == 2 && (i == 3 || i == 4))) continue;
      int32_t v = g == 6 ? 0 : g == 2 && i == 1 ? 1 : g * 10 + i;
      a.values[ToArcs(DeviceOid(unit, g, i))] = Int(v);
    }
  }
  if (unit != kSensorUnit) a.values[ToArcs(DeviceOid(unit, 1, 1))] = Str("INV-" + std::to_string(unit));
}

bool LoadScript(const std::string& path, std::vector<Agent>* agents, std::string* error) {
  std::ifstream in(path);
  if (!in) {
    *error = "cannot read " + path;
    return false;
  }
  std::vector<Agent> out;
  std::string line;
  int lineNo = 0;
  auto find = [&](const std::string& name) -> Agent* {
    for (Agent& a : out) {
      if (a.name == name) return &a;
    }
    return nullptr;
  };
  while (std::getline(in, line)) {
    ++lineNo;
    std::vector<std::string> w = Words(line);
    if (w.empty() || w[0][0] == '#') continue;
    auto fail = [&](const std::string& why) {
      *error = path + ":" + std::to_string(lineNo) + ": " + why;
      return false;
    };
    if (w[0] == "agent") {
      if (w.size() < 4) return fail("agent NAME ADDRESS[:PORT] FAMILY");
      Agent a;
      a.name = w[1];
      std::string addr = w[2];
      size_t colon = addr.find(':');
      if (colon != std::string::npos) {
        a.port = static_cast<uint16_t>(atoi(addr.c_str() + colon + 1));
        addr.resize(colon);
      }
      if (inet_pton(AF_INET, addr.c_str(), &a.address) != 1) return fail("bad address " + addr);
      a.family = w[3];
      if (a.family != "system" && a.family != "maker" && a.family != "device" && a.family != "upsmib") {
        return fail("unknown family " + a.family);
      }
      a.nullForMissing = a.family == "maker";
      for (size_t i = 4; i < w.size(); ++i) {
        if (w[i].rfind("community=", 0) == 0) a.community = w[i].substr(10);
        if (w[i] == "missing=null") a.nullForMissing = true;
        if (w[i] == "missing=nosuchname") a.nullForMissing = false;
      }
      FamilyDefaults(a);
      out.push_back(std::move(a));
      continue;
    }
    Agent* a = w.size() >= 2 ? find(w[1]) : nullptr;
    if (!a) return fail("no agent named " + (w.size() >= 2 ? w[1] : std::string()));
    Arcs oid;
    if (w[0] == "unit" && w.size() == 3) {
      AddUnit(*a, static_cast<uint32_t>(atoi(w[2].c_str())));
    } else if (w[0] == "value" && w.size() == 5) {
      Value v;
      if (!ParseArcs(w[2], &oid) || !ParseValue(w[3], w[4], &v)) return fail("bad value");
      a->values[oid] = v;
    } else if (w[0] == "drop" && w.size() == 3) {
      if (!ParseArcs(w[2], &oid)) return fail("bad object");
      a->values.erase(oid);
    } else if (w[0] == "alarm" && w.size() == 4) {
      if (!ParseArcs(w[2], &oid)) return fail("bad object");
      a->alarms.push_back({oid, std::max(1L, atol(w[3].c_str()))});
      a->values[oid] = Int(0);
    } else if (w[0] == "fault" && w.size() >= 3) {
      a->fault = w[2];
      a->faultArg = w.size() > 3 ? atol(w[3].c_str()) : 0;
    } else {
      return fail("cannot read: " + line);
    }
  }
  *agents = std::move(out);
  return true;
}

// ---- sockets ---------------------------------------------------------------

int BoundSocket(in_addr address, uint16_t port) {
  int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return -1;
  int one = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_addr = address;
  sa.sin_port = htons(port);
  if (bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

void CloseAll(std::vector<Agent>& agents) {
  for (Agent& a : agents) {
    if (a.fd >= 0) close(a.fd);
    if (a.otherFd >= 0) close(a.otherFd);
    a.fd = a.otherFd = -1;
  }
}

bool BindAll(std::vector<Agent>& agents) {
  for (Agent& a : agents) {
    a.fd = BoundSocket(a.address, a.port);
    a.otherFd = BoundSocket(a.address, 0);
    if (a.fd < 0 || a.otherFd < 0) {
      char text[INET_ADDRSTRLEN];
      inet_ntop(AF_INET, &a.address, text, sizeof text);
      fprintf(stderr, "snmp_sim: cannot bind %s:%u: %s\n", text, a.port, strerror(errno));
      return false;
    }
  }
  return true;
}

// ---- answers ---------------------------------------------------------------

bool AddValue(SnmpCodec& c, std::span<const uint32_t> name, const Value& v) {
  if (v.type == kBerNull) return c.addNull(name);
  if (IsBerIntegerFamily(v.type)) return c.addInteger(name, v.integer, v.type);
  if (v.type == kBerOid) return c.addOid(name, v.oid);
  return c.addOctets(name, CBytes(reinterpret_cast<const uint8_t*>(v.octets.data()), v.octets.size()),
                     v.type);
}

bool SameKind(uint8_t a, uint8_t b) { return a == b; }

// The answer to one request in `req`, built in `out`; false for no answer.
bool Answer(Agent& a, long requestNo, const SnmpCodec& req, SnmpCodec& out) {
  const SnmpMessage& m = req.message;
  if (std::string(m.community.begin(), m.community.end()) != a.community) return false;
  for (const Alarm& al : a.alarms) a.values[al.oid] = Int(((requestNo - 1) / al.period) % 2 ? 1 : 0);
  out.reset();
  out.message = SnmpMessage{};
  out.message.community = m.community;
  out.message.requestId = m.requestId;
  out.message.pdu = kPduGetResponse;
  int32_t status = kSnmpNoError, index = 0;
  auto binds = req.bindings();
  for (size_t i = 0; i < binds.size() && status == kSnmpNoError; ++i) {
    Arcs name(binds[i].name.begin(), binds[i].name.end());
    auto it = a.values.find(name);
    if (m.pdu == kPduSetRequest) {
      if (it == a.values.end()) {
        status = kSnmpNoSuchName;
      } else if (!SameKind(it->second.type, binds[i].type)) {
        status = kSnmpBadValue;
      }
    } else if (it == a.values.end() && (m.pdu != kPduGetRequest || !a.nullForMissing)) {
      status = kSnmpNoSuchName;
    }
    if (status != kSnmpNoError) index = static_cast<int32_t>(i + 1);
  }
  if (status == kSnmpNoError && m.pdu == kPduSetRequest) {
    for (const SnmpVarBind& b : binds) {
      Value& v = a.values[Arcs(b.name.begin(), b.name.end())];
      v.integer = b.integer;
      v.octets.assign(reinterpret_cast<const char*>(b.octets.data()), b.octets.size());
      v.oid.assign(b.oid.begin(), b.oid.end());
    }
  }
  out.message.errorStatus = status;
  out.message.errorIndex = index;
  for (const SnmpVarBind& b : binds) {
    auto it = a.values.find(Arcs(b.name.begin(), b.name.end()));
    Value v = status == kSnmpNoError && it != a.values.end() ? it->second : Value{kBerNull, 0, {}, {}};
    if (status != kSnmpNoError && m.pdu == kPduSetRequest) {
      v = Value{b.type, b.integer, std::string(b.octets.begin(), b.octets.end()), Arcs(b.oid.begin(), b.oid.end())};
    }
    if (!AddValue(out, b.name, v)) {
      out.message.errorStatus = kSnmpTooBig;
      out.message.errorIndex = 0;
      out.reset();
      break;
    }
  }
  return true;
}

// A v1 trap (coldStart) from the agent, built by hand: our encoder writes
// only the request and response layout.
std::vector<uint8_t> TrapBytes(const Agent& a) {
  auto tlv = [](uint8_t tag, const std::vector<uint8_t>& content) {
    std::vector<uint8_t> out{tag};
    uint8_t len[5];
    size_t n = BerEncodeLength(Bytes(len, sizeof len), static_cast<uint32_t>(content.size()));
    out.insert(out.end(), len, len + n);
    out.insert(out.end(), content.begin(), content.end());
    return out;
  };
  auto cat = [](std::initializer_list<std::vector<uint8_t>> parts) {
    std::vector<uint8_t> out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
  };
  const uint8_t* ip = reinterpret_cast<const uint8_t*>(&a.address);
  std::vector<uint8_t> pdu =
      cat({tlv(0x06, {0x2B, 6, 1, 4, 1, 0xB9, 0x19, 2, 4}), tlv(0x40, {ip[0], ip[1], ip[2], ip[3]}),
           tlv(0x02, {0}), tlv(0x02, {0}), tlv(0x43, {0}), tlv(0x30, {})});
  return tlv(0x30, cat({tlv(0x02, {0}), tlv(0x04, std::vector<uint8_t>(a.community.begin(), a.community.end())),
                        tlv(0xA4, pdu)}));
}

void Send(int fd, const sockaddr_in& to, CBytes bytes) {
  sendto(fd, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
}

// When an agent's requests came: the last one and the longest pause between two.
struct Pace {
  std::chrono::steady_clock::time_point last{};
  long longestGapMs = 0;
};

void PrintCounts(const std::vector<Agent>& agents, const std::map<std::string, long>& counts,
                 const std::map<std::string, Pace>& paces) {
  for (const Agent& a : agents) {
    char text[INET_ADDRSTRLEN];
    inet_ntop(AF_INET, &a.address, text, sizeof text);
    auto it = counts.find(a.name);
    auto pace = paces.find(a.name);
    printf("requests %s %s:%u %ld gap %ld\n", a.name.c_str(), text, a.port, it == counts.end() ? 0 : it->second,
           pace == paces.end() ? 0 : pace->second.longestGapMs);
  }
  fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: snmp_sim SCRIPT\n");
    return 2;
  }
  const std::string script = argv[1];
  std::vector<Agent> agents;
  std::string error;
  if (!LoadScript(script, &agents, &error)) {
    fprintf(stderr, "snmp_sim: %s\n", error.c_str());
    return 2;
  }
  if (!BindAll(agents)) return 1;

  sigset_t sigs;
  sigemptyset(&sigs);
  for (int s : {SIGHUP, SIGUSR1, SIGTERM, SIGINT}) sigaddset(&sigs, s);
  sigprocmask(SIG_BLOCK, &sigs, nullptr);
  int sfd = signalfd(-1, &sigs, SFD_CLOEXEC);
  printf("ready\n");
  fflush(stdout);

  std::map<std::string, long> counts;  // requests by agent name, across reloads
  std::map<std::string, Pace> paces;   // by agent name, likewise
  std::vector<Pending> pending;        // late answers
  SnmpCodec req, out;
  uint32_t garbageSeed = 12345;
  for (;;) {
    std::vector<pollfd> fds{{sfd, POLLIN, 0}};
    for (const Agent& a : agents) fds.push_back({a.fd, POLLIN, 0});
    int timeout = -1;
    auto now = std::chrono::steady_clock::now();
    for (const Pending& p : pending) {
      long ms = std::max<long>(0, std::chrono::duration_cast<std::chrono::milliseconds>(p.due - now).count());
      if (timeout < 0 || ms < timeout) timeout = static_cast<int>(ms);
    }
    if (poll(fds.data(), fds.size(), timeout) < 0 && errno != EINTR) return 1;
    now = std::chrono::steady_clock::now();
    for (size_t i = 0; i < pending.size();) {
      if (pending[i].due <= now) {
        Send(pending[i].fd, pending[i].to, pending[i].bytes);
        pending.erase(pending.begin() + static_cast<long>(i));
      } else {
        ++i;
      }
    }
    if (fds[0].revents & POLLIN) {
      signalfd_siginfo si{};
      if (read(sfd, &si, sizeof si) == sizeof si) {
        if (si.ssi_signo == SIGUSR1) PrintCounts(agents, counts, paces);
        if (si.ssi_signo == SIGTERM || si.ssi_signo == SIGINT) {
          PrintCounts(agents, counts, paces);
          CloseAll(agents);
          return 0;
        }
        if (si.ssi_signo == SIGHUP) {
          std::vector<Agent> fresh;
          if (LoadScript(script, &fresh, &error)) {
            CloseAll(agents);
            pending.clear();
            agents = std::move(fresh);
            if (!BindAll(agents)) return 1;
            printf("reloaded\n");
            fflush(stdout);
          } else {
            fprintf(stderr, "snmp_sim: %s (kept the old script)\n", error.c_str());
          }
          continue;
        }
      }
    }
    for (size_t k = 0; k < agents.size(); ++k) {
      if (!(fds[k + 1].revents & POLLIN)) continue;
      Agent& a = agents[k];
      uint8_t buf[2048];
      sockaddr_in from{};
      socklen_t fromLen = sizeof from;
      ssize_t n;
      while ((n = recvfrom(a.fd, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &fromLen)) >= 0) {
        fromLen = sizeof from;
        long no = ++counts[a.name];
        Pace& pace = paces[a.name];
        if (no > 1) {
          long gap = static_cast<long>(
              std::chrono::duration_cast<std::chrono::milliseconds>(now - pace.last).count());
          pace.longestGapMs = std::max(pace.longestGapMs, gap);
        }
        pace.last = now;
        if (SnmpDecodeMessage(req, CBytes(buf, static_cast<size_t>(n))) != 0) continue;
        if (req.message.pdu == kPduGetResponse || a.fault == "silence") continue;
        if (!Answer(a, no, req, out)) continue;
        if (a.fault == "wrongid") out.message.requestId += 1;
        if (a.fault == "getrequest") out.message.pdu = kPduGetRequest;
        std::string bigCommunity;
        if (a.fault == "big") {
          bigCommunity = a.community + std::string(1100, '#');
          out.message.community = CBytes(reinterpret_cast<const uint8_t*>(bigCommunity.data()), bigCommunity.size());
        }
        CBytes bytes;
        if (SnmpEncodeMessage(out, &bytes) != 0) continue;
        std::vector<uint8_t> answer(bytes.begin(), bytes.end());
        if (a.fault == "garbage") {
          answer.resize(1 + garbageSeed % 100);
          for (uint8_t& b : answer) b = static_cast<uint8_t>((garbageSeed = garbageSeed * 1103515245 + 12345) >> 16);
        }
        if (a.fault == "trap") Send(a.fd, from, TrapBytes(a));
        int fd = a.fault == "otherport" ? a.otherFd : a.fd;
        if (a.fault == "late") {
          pending.push_back({now + std::chrono::milliseconds(a.faultArg), fd, from, answer});
        } else {
          Send(fd, from, answer);
        }
      }
    }
  }
}
