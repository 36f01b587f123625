// line_pacer: a serial line at a baud rate's wire speed between two
// pseudo-terminals, for benchmarks and timing tests. Bytes written on one end
// come out of the other one by one, each after its 10 bit times on the wire
// (start, 8 data, stop), never sooner than the line could carry them.
//
//   line_pacer --a PATH --b PATH --baud N [--pause-after K --pause-ms M]
//
// PATH are symbolic links made to the two pseudo-terminals. With
// --pause-after, every frame from b to a stops for M ms after its K-th byte
// (a frame starts after 3.5 character times of silence), as a slow device
// that sends its answer in two pieces.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;
using Nanos = std::chrono::nanoseconds;

volatile sig_atomic_t gStop = 0;

struct Direction {
  int from = -1, to = -1;
  std::deque<std::pair<uint8_t, Clock::time_point>> queue;  // byte, when it has crossed the wire
  Clock::time_point wireFree{};                             // end of the last byte on the wire
  Clock::time_point lastArrival{};
  int frameBytes = 0;
  bool pausing = false;  // frames in this direction get the pause
};

bool OpenPty(const std::string& link, int* master, int* slave) {
  char name[256];
  if (openpty(master, slave, name, nullptr, nullptr) != 0) return false;
  termios t{};
  tcgetattr(*slave, &t);
  cfmakeraw(&t);
  tcsetattr(*slave, TCSANOW, &t);
  fcntl(*master, F_SETFL, fcntl(*master, F_GETFL) | O_NONBLOCK);
  unlink(link.c_str());
  return symlink(name, link.c_str()) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::string a, b;
  long baud = 9600, pauseAfter = 0, pauseMs = 0;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string opt = argv[i];
    if (opt == "--a")
      a = argv[i + 1];
    else if (opt == "--b")
      b = argv[i + 1];
    else if (opt == "--baud")
      baud = std::atol(argv[i + 1]);
    else if (opt == "--pause-after")
      pauseAfter = std::atol(argv[i + 1]);
    else if (opt == "--pause-ms")
      pauseMs = std::atol(argv[i + 1]);
  }
  if (a.empty() || b.empty() || baud <= 0) {
    std::fprintf(stderr,
                 "usage: line_pacer --a PATH --b PATH --baud N [--pause-after K --pause-ms M]\n");
    return 2;
  }
  signal(SIGTERM, [](int) { gStop = 1; });
  signal(SIGINT, [](int) { gStop = 1; });
  int ma, sa, mb, sb;  // the slave ends stay open here, so a client may come and go
  if (!OpenPty(a, &ma, &sa) || !OpenPty(b, &mb, &sb)) {
    std::perror("line_pacer: pseudo-terminal");
    return 1;
  }
  const Nanos byteTime(10'000'000'000LL / baud);
  const Nanos frameGap = byteTime * 7 / 2;
  Direction dirs[2];
  dirs[0].from = ma;
  dirs[0].to = mb;
  dirs[1].from = mb;
  dirs[1].to = ma;
  dirs[1].pausing = pauseAfter > 0;
  std::printf("ready\n");
  std::fflush(stdout);

  while (!gStop) {
    const auto now = Clock::now();
    int waitMs = 100;
    for (Direction& d : dirs) {
      while (!d.queue.empty() && d.queue.front().second <= now) {
        const uint8_t c = d.queue.front().first;
        if (write(d.to, &c, 1) != 1) break;  // the far end is not read yet: keep it
        d.queue.pop_front();
      }
      if (!d.queue.empty()) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(d.queue.front().second - now);
        waitMs = std::min<int>(waitMs, static_cast<int>(left.count()));
      }
    }
    pollfd fds[2] = {{ma, POLLIN, 0}, {mb, POLLIN, 0}};
    poll(fds, 2, waitMs < 0 ? 0 : waitMs);
    for (int i = 0; i < 2; ++i) {
      if (!(fds[i].revents & POLLIN)) continue;
      Direction& d = dirs[i];
      uint8_t buf[512];
      const ssize_t n = read(d.from, buf, sizeof buf);
      if (n <= 0) continue;
      const auto at = Clock::now();
      if (at - d.lastArrival > frameGap && d.queue.empty()) d.frameBytes = 0;
      d.lastArrival = at;
      for (ssize_t k = 0; k < n; ++k) {
        d.wireFree = std::max(d.wireFree, at) + byteTime;
        d.queue.emplace_back(buf[k], d.wireFree);
        if (d.pausing && ++d.frameBytes == pauseAfter)
          d.wireFree += std::chrono::milliseconds(pauseMs);
      }
    }
  }
  unlink(a.c_str());
  unlink(b.c_str());
  return 0;
}
