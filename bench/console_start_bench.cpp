// A console's configuration download at start: manager.ini and a map of N
// devices (1000 and 10,000 by default) fetched by the headless console link
// in 32 KiB pieces: from the first piece asked for to the last piece in
// (download) and to the map read into the console's tree (start); beside
// it, a plain loop asking the same server for the same pieces one after
// another (the time the bytes need on the link). The server is a small
// scripted service on its own thread that answers at once. Prints the times
// and the download's ratio to the plain loop.
//
//   console_start_bench [--devices N]...
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_tree.h"
#include "console/link/link_driver.h"
#include "console/link/request_frame.h"
#include "console/link/service_link.h"
#include "core/map_file.h"
#include "linkserver/link_commands.h"
#include "linkserver/link_frame.h"
#include "linkserver/link_transfer.h"
#include "platform/clock.h"
#include "platform/event_loop.h"

namespace {

using namespace lark;
using Steady = std::chrono::steady_clock;
using V = std::vector<uint8_t>;

V Reply(uint8_t command, const V& data) {
  V f(5 + data.size());
  f[0] = 1;
  f[1] = kLinkKindReply;
  f[4] = command;
  std::copy(data.begin(), data.end(), f.begin() + 5);
  putBe16(f, 2, static_cast<uint16_t>(f.size() - 4));
  return f;
}

bool SendAll(int fd, const V& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

// One console at a time; each request answered as soon as it is whole.
class ScriptedService {
 public:
  ScriptedService(std::string settings, std::string map)
      : settings_(std::move(settings)), map_(std::move(map)) {
    listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(listener_, 4) != 0) {
      std::fprintf(stderr, "cannot listen\n");
      std::exit(1);
    }
    socklen_t len = sizeof a;
    getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
    thread_ = std::thread([this] { run(); });
  }
  ~ScriptedService() {
    stop_ = true;
    thread_.join();
    close(listener_);
  }
  uint16_t port() const { return port_; }
  // When the first piece of manager.ini was asked for.
  Steady::time_point firstPiece() const { return firstPiece_.load(); }

 private:
  V answer(const V& r) {
    const uint8_t command = r.size() > 4 ? r[4] : 0;
    auto piece = [&](const std::string& file, uint8_t code) {
      const size_t offset = r.size() >= 10 ? u32At(r, 6) : 0;
      V d = {code, 0};
      if (offset < file.size()) {
        const size_t n = std::min<size_t>(kDownloadChunkSize, file.size() - offset);
        d.insert(d.end(), file.begin() + static_cast<ptrdiff_t>(offset),
                 file.begin() + static_cast<ptrdiff_t>(offset + n));
      }
      return Reply(command, d);
    };
    switch (command) {
      case kLinkCmdHello:
        return Reply(command, {1});
      case kLinkCmdGetMapList: {
        const std::string text = "Big.UMF;Big.UMF;Big.UMF;";
        V d = {3};
        d.insert(d.end(), text.begin(), text.end());
        return Reply(command, d);
      }
      case kLinkCmdDownloadSettings:
        if (r.size() >= 10 && u32At(r, 6) == 0) firstPiece_ = Steady::now();
        return piece(settings_, 7);
      case kLinkCmdDownloadFile:
        return piece(map_, 9);
      case kLinkCmdVersion:
        return Reply(command, {65, 9, 7});
      default:
        return Reply(command, {LinkFailureCode(command)});
    }
  }
  void run() {
    int console = -1;
    V buf;
    while (!stop_) {
      pollfd p{console >= 0 ? console : listener_, POLLIN, 0};
      if (poll(&p, 1, 50) <= 0) continue;
      if (console < 0) {
        console = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        const int one = 1;
        setsockopt(console, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        buf.clear();
        continue;
      }
      uint8_t in[65536];
      const ssize_t n = recv(console, in, sizeof in, 0);
      if (n <= 0) {
        close(console);
        console = -1;
        continue;
      }
      buf.insert(buf.end(), in, in + n);
      while (buf.size() >= 4) {
        const size_t size = (size_t{buf[2]} << 8 | buf[3]) + 4;
        if (buf.size() < size) break;
        const V request(buf.begin(), buf.begin() + static_cast<ptrdiff_t>(size));
        buf.erase(buf.begin(), buf.begin() + static_cast<ptrdiff_t>(size));
        SendAll(console, answer(request));
      }
    }
    if (console >= 0) close(console);
  }

  std::string settings_, map_;
  int listener_ = -1;
  uint16_t port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<Steady::time_point> firstPiece_{};
  std::thread thread_;
};

struct Shell final : LinkShell {
  explicit Shell(DeviceTree& t) : tree(t) {}
  void configurationLoaded(const std::string& mapPath) override {
    downloaded = Steady::now();
    LoadDownloadedMap(tree, mapPath);
    loaded = Steady::now();
    done = true;
  }
  DeviceTree& tree;
  Steady::time_point downloaded, loaded;
  bool done = false;
};

double Seconds(Steady::time_point from, Steady::time_point to) {
  return std::chrono::duration<double>(to - from).count();
}

// The console link from the first piece asked for to the last piece in
// (download) and to the map in its tree (start); -1 when it did not finish.
struct ConsoleTimes {
  double download = -1, start = -1;
};
ConsoleTimes ConsoleDownload(ScriptedService& service, const std::string& dir) {
  SystemClock clock;
  EventLoop loop;
  EpollReactor reactor{loop};
  DeviceTree tree;
  Shell shell{tree};
  LinkOptions options;
  options.servicePort = service.port();
  ServiceLink link{reactor, clock, tree, shell, dir, [] { return 0; }, options};
  link.start();
  link.setServer("127.0.0.1");
  link.setAutoConnect(true);
  if (!ArmLinkTimers(reactor, link)) return {};
  const auto end = Steady::now() + std::chrono::seconds(120);
  while (!shell.done && Steady::now() < end) loop.runOnce(20);
  KillLinkTimers(reactor);
  if (!shell.done) {
    std::fprintf(stderr, "the link stopped at state %d/%d\n", link.state().state, link.state().sub);
  }
  link.close();
  if (!shell.done) return {};
  return {Seconds(service.firstPiece(), shell.downloaded), Seconds(service.firstPiece(), shell.loaded)};
}

// The same pieces asked for one after another on a plain socket.
double PlainDownload(uint16_t port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(port);
  const int one = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) return -1;
  const auto start = Steady::now();
  V reply;
  for (uint8_t command : {kLinkCmdDownloadSettings, kLinkCmdDownloadFile}) {
    for (uint32_t offset = 0;; offset += kDownloadChunkSize) {
      V header(kFileChunkHeaderSize, 0);
      PutChunkHeader(header, 0, FileChunkHeader{offset, kDownloadChunkSize, "Big.UMF"});
      if (!SendAll(fd, BuildRequestFrame(command, 0, header))) return -1;
      uint8_t head[4];
      size_t got = 0;
      while (got < 4) {
        const ssize_t n = recv(fd, head + got, 4 - got, 0);
        if (n <= 0) return -1;
        got += static_cast<size_t>(n);
      }
      reply.resize(size_t{head[2]} << 8 | head[3]);
      for (got = 0; got < reply.size();) {
        const ssize_t n = recv(fd, reply.data() + got, reply.size() - got, 0);
        if (n <= 0) return -1;
        got += static_cast<size_t>(n);
      }
      if (reply.size() < 3 + kDownloadChunkSize) break;  // command, code, 0, then the piece
    }
  }
  const double s = Seconds(start, Steady::now());
  close(fd);
  return s;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<int> sizes;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (!std::strcmp(argv[i], "--devices")) sizes.push_back(std::atoi(argv[i + 1]));
  }
  if (sizes.empty()) sizes = {1000, 10000};
  const auto dir = std::filesystem::temp_directory_path() /
                   ("lark-console-start-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  std::printf("%8s %8s %12s %12s %10s %16s\n", "devices", "map KiB", "download ms", "start ms",
              "plain ms", "download/plain");
  for (int devices : sizes) {
    DeviceTree tree;
    bench::BuildDeviceTree(tree, devices);
    const std::string map = BuildMapText(tree.root());
    ScriptedService service("[Main]\r\nLoad File=Big.UMF\r\n", map);
    const ConsoleTimes console = ConsoleDownload(service, dir.string());
    const double plain = PlainDownload(service.port());
    if (console.start < 0 || plain < 0) {
      std::fprintf(stderr, "the download at %d devices did not finish\n", devices);
      return 1;
    }
    std::printf("%8d %8zu %12.1f %12.1f %10.1f %16.2f\n", devices, map.size() / 1024,
                console.download * 1e3, console.start * 1e3, plain * 1e3, console.download / plain);
  }
  std::filesystem::remove_all(dir);
  return 0;
}
