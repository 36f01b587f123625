// GPRS stations for tests, the demo and the benchmark: N connections to the
// service's station port, each answering the poll letters with the framed
// sample report of every tag (devices/gprs/gprs_samples.h): a healthy UPS
// behind each, or with --tagged values that tell their position and station.
//
//   gprs_sim [--host A] [--port P] [--stations N] [--name PREFIX] [--first K]
//            [--fault KIND[:STATION]]... [--tagged [--value X=V]...]
//            [--outage STATION:UP:DOWN] [--verbose]
//
// Station i (K..K+N-1) calls itself PREFIXi (default "Station"). Faults hit
// one station (its index) or all (no index): split (a frame in two writes),
// two (two frames in one write), badsum, lowersum, len999 (length digits 999),
// lendigits (length "-05"), silence (answers L, then nothing), disconnect
// (closes after its identification), duplicate (calls itself PREFIXK), slow
// (a byte a second), mute (connects and never says anything).
// --value X=V gives every station tagged value X (0..90) as V instead
// (x13 is the operating state: --tagged --value 13=0).
// --outage K:UP:DOWN: station K loses its line UP seconds after each call,
// stays away DOWN seconds and calls again, as a station whose mobile network
// drops it now and then.
// Prints "connected N" once every station is connected.
#include <arpa/inet.h>
#include <errno.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <deque>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "devices/gprs/gprs_frame.h"
#include "devices/gprs/gprs_samples.h"
#include "tools/sim_line.h"

namespace {

using Clock = std::chrono::steady_clock;

volatile sig_atomic_t g_stop = 0;  // set by the signal handler only
void OnSignal(int) { g_stop = 1; }

struct Fault {
  std::string kind;
  int station = 0;  // 0 = every station
};

struct Options {
  std::string host = "127.0.0.1";
  int port = 9100;
  int stations = 1;
  int first = 1;
  std::string prefix = "Station";
  std::vector<Fault> faults;
  std::map<int, int32_t> values;  // --value X=V
  // --outage; station 0 = none
  int outageStation = 0, outageUp = 0, outageDown = 0;
  bool tagged = false;  // values that tell their position and station, for tests
  bool verbose = false;
};

struct Chunk {
  Clock::time_point due;
  std::string bytes;
};

struct Link {
  int index = 0;
  int fd = -1;
  std::deque<Chunk> out;
  bool quiet = false;  // silenced or mute
  // The next outage begins at `drop` and ends at `back`.
  Clock::time_point drop = Clock::time_point::max();
  Clock::time_point back = Clock::time_point::max();
};

Options ParseArgs(int argc, char** argv) {
  static const char* const kKinds[] = {"split",     "two",  "badsum",  "lowersum",
                                       "len999",    "lendigits", "silence", "disconnect",
                                       "duplicate", "slow", "mute"};
  Options o;
  lark::sim::SimArgs args("gprs_sim", argc, argv);
  while (args.next()) {
    const std::string& a = args.option();
    if (a == "--host") {
      o.host = args.value();
    } else if (a == "--port") {
      o.port = args.number();
    } else if (a == "--stations") {
      o.stations = args.number();
    } else if (a == "--first") {
      o.first = args.number();
    } else if (a == "--name") {
      o.prefix = args.value();
    } else if (a == "--value") {
      const std::string v = args.value();
      const size_t eq = v.find('=');
      if (eq == std::string::npos) args.usage("bad --value (X=V)");
      const int x = args.number(v.substr(0, eq));
      if (x < 0 || x > 90) args.usage("--value X is 0..90");
      o.values[x] = args.number(v.substr(eq + 1));
    } else if (a == "--outage") {
      const std::string v = args.value();
      const size_t c1 = v.find(':');
      const size_t c2 = c1 == std::string::npos ? c1 : v.find(':', c1 + 1);
      if (c1 == std::string::npos || c2 == std::string::npos)
        args.usage("bad --outage (K:UP:DOWN)");
      o.outageStation = args.number(v.substr(0, c1));
      o.outageUp = args.number(v.substr(c1 + 1, c2 - c1 - 1));
      o.outageDown = args.number(v.substr(c2 + 1));
      if (o.outageStation < 1 || o.outageUp < 1 || o.outageDown < 1)
        args.usage("--outage takes a station and two times of 1 or more");
    } else if (a == "--tagged") {
      o.tagged = true;
    } else if (a == "--verbose") {
      o.verbose = true;
    } else if (a == "--fault") {
      std::string v = args.value();
      size_t c = v.find(':');
      Fault f{v.substr(0, c), c == std::string::npos ? 0 : args.number(v.substr(c + 1))};
      bool known = false;
      for (const char* k : kKinds) known = known || f.kind == k;
      if (!known) args.usage("unknown fault " + v);
      o.faults.push_back(f);
    } else {
      args.usage("unknown option " + a);
    }
  }
  if (o.stations < 1) args.usage("--stations must be 1 or more");
  return o;
}

bool Has(const Options& o, const char* kind, int station) {
  for (const Fault& f : o.faults) {
    if (f.kind == kind && (f.station == 0 || f.station == station)) return true;
  }
  return false;
}

int Connect(const Options& o) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(o.port));
  inet_pton(AF_INET, o.host.c_str(), &a.sin_addr);
  if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

// The answer to `letter`, with the station's faults applied, as timed chunks.
void Answer(const Options& o, Link& l, char letter) {
  const int s = l.index;
  const std::string name = o.prefix + std::to_string(Has(o, "duplicate", s) ? o.first : s);
  std::string report = o.tagged ? lark::GprsSampleReport(letter, s, name, o.values)
                                : lark::GprsStationReport(letter, s, name);
  if (report.empty()) return;
  std::string frame = lark::BuildGprsFrame(report, "01", Has(o, "lowersum", s));
  if (Has(o, "badsum", s)) frame[frame.size() - 1] = frame.back() == '0' ? '1' : '0';
  if (Has(o, "len999", s)) frame.replace(4, 3, "999");
  if (Has(o, "lendigits", s)) frame.replace(4, 3, "-05");
  if (Has(o, "two", s)) frame += frame;
  const auto now = Clock::now();
  if (Has(o, "slow", s)) {
    for (size_t i = 0; i < frame.size(); ++i) {
      l.out.push_back({now + std::chrono::seconds(i), frame.substr(i, 1)});
    }
  } else if (Has(o, "split", s)) {
    l.out.push_back({now, frame.substr(0, frame.size() / 2)});
    l.out.push_back({now + std::chrono::milliseconds(150), frame.substr(frame.size() / 2)});
  } else {
    l.out.push_back({now, frame});
  }
  if (Has(o, "silence", s) && letter == 'L') l.quiet = true;
}

}  // namespace

int main(int argc, char** argv) {
  Options o = ParseArgs(argc, argv);
  lark::sim::CatchStopSignals(OnSignal);
  rlimit r{};
  if (getrlimit(RLIMIT_NOFILE, &r) == 0) {
    r.rlim_cur = r.rlim_max;
    setrlimit(RLIMIT_NOFILE, &r);
  }

  std::vector<Link> links(static_cast<size_t>(o.stations));
  for (int i = 0; i < o.stations; ++i) {
    Link& l = links[static_cast<size_t>(i)];
    l.index = o.first + i;
    for (int tries = 0; tries < 100 && l.fd < 0 && !g_stop; ++tries) {
      l.fd = Connect(o);
      if (l.fd < 0) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    if (l.fd < 0) {
      fprintf(stderr, "gprs_sim: connect %s:%d: %s\n", o.host.c_str(), o.port, strerror(errno));
      return 1;
    }
    l.quiet = Has(o, "mute", l.index);
    if (l.index == o.outageStation) l.drop = Clock::now() + std::chrono::seconds(o.outageUp);
  }
  printf("connected %d\n", o.stations);
  fflush(stdout);

  std::vector<pollfd> fds(links.size());
  while (!g_stop) {
    size_t open = 0;
    for (size_t i = 0; i < links.size(); ++i) {
      fds[i] = {links[i].fd, POLLIN, 0};
      open += links[i].fd >= 0 || links[i].back != Clock::time_point::max();
    }
    if (open == 0) break;
    if (poll(fds.data(), fds.size(), 50) < 0 && errno != EINTR) break;
    const auto now = Clock::now();
    for (size_t i = 0; i < links.size(); ++i) {
      Link& l = links[i];
      if (l.fd >= 0 && now >= l.drop) {
        if (o.verbose) fprintf(stderr, "gprs_sim: station %d loses its line\n", l.index);
        close(l.fd);
        l.fd = -1;
        l.out.clear();
        l.drop = Clock::time_point::max();
        l.back = now + std::chrono::seconds(o.outageDown);
      }
      if (l.fd < 0 && now >= l.back) {
        // A call that fails (the service not listening) is tried again a second later.
        l.fd = Connect(o);
        l.back = l.fd < 0 ? now + std::chrono::seconds(1) : Clock::time_point::max();
        if (l.fd >= 0) l.drop = now + std::chrono::seconds(o.outageUp);
        if (l.fd >= 0 && o.verbose) fprintf(stderr, "gprs_sim: station %d calls again\n", l.index);
      }
      if (l.fd < 0) continue;
      if (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) {
        char buf[64];
        ssize_t n = recv(l.fd, buf, sizeof buf, 0);
        if (n <= 0) {
          if (o.verbose) fprintf(stderr, "gprs_sim: station %d closed by the service\n", l.index);
          close(l.fd);
          l.fd = -1;
          continue;
        }
        for (ssize_t k = 0; k < n; ++k) {
          if (o.verbose) fprintf(stderr, "gprs_sim: station %d got %c\n", l.index, buf[k]);
          if (!l.quiet) Answer(o, l, buf[k]);
          if (buf[k] == 'R' && Has(o, "disconnect", l.index)) {
            close(l.fd);
            l.fd = -1;
            break;
          }
        }
      }
      while (l.fd >= 0 && !l.out.empty() && l.out.front().due <= now) {
        const std::string& b = l.out.front().bytes;
        if (send(l.fd, b.data(), b.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(b.size())) break;
        l.out.pop_front();
      }
    }
  }
  for (Link& l : links) {
    if (l.fd >= 0) close(l.fd);
  }
  return 0;
}
