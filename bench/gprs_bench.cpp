// GPRS station link under load: N simulated stations (tools/gprs_sim) answer
// a poll letter each round; the link's loop-thread CPU per report and the
// process's RSS are printed beside a plain epoll server that sends the same
// letters to the same stations and only counts the answers, in the same run.
//
// usage: gprs_bench GPRS_SIM [--stations N] [--seconds S] [--round-ms R]
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/device_tree.h"
#include "devices/gprs/gprs_link.h"
#include "platform/clock.h"
#include "platform/event_loop.h"

namespace {

using namespace lark;

struct NullLog final : EventLogSink {
  void WriteEventLog(int32_t, uint32_t, int32_t, std::string_view) override {}
};

double ThreadCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

long RssKiB() {
  FILE* f = fopen("/proc/self/status", "r");
  if (f == nullptr) return -1;
  char line[256];
  long kib = -1;
  while (fgets(line, sizeof line, f) != nullptr) {
    if (strncmp(line, "VmRSS:", 6) == 0) kib = strtol(line + 6, nullptr, 10);
  }
  fclose(f);
  return kib;
}

pid_t StartStations(const std::string& sim, uint16_t port, int stations) {
  pid_t pid = fork();
  if (pid == 0) {
    std::string p = std::to_string(port), n = std::to_string(stations);
    execl(sim.c_str(), sim.c_str(), "--port", p.c_str(), "--stations", n.c_str(), "--name", "Station",
          static_cast<char*>(nullptr));
    _exit(127);
  }
  return pid;
}

void StopStations(pid_t pid) {
  kill(pid, SIGTERM);
  waitpid(pid, nullptr, 0);
}

struct Result {
  double cpu = 0;
  uint64_t reports = 0;
  long rss = 0;
};

Result RunLink(const std::string& sim, int stations, int seconds, uint32_t roundMs) {
  EventLoop loop;
  SystemClock clock;
  DeviceTree tree;
  NullLog events;
  // A group holds at most 300 children: 250 stations a group.
  DeviceNode* group = nullptr;
  for (int i = 1; i <= stations; ++i) {
    if ((i - 1) % 250 == 0) {
      tree.setCurrentParent(tree.root());
      group = Tree_CreateNode(tree, kNodeGroup, "");
    }
    if (group == nullptr) break;
    tree.setCurrentParent(*group);
    DeviceNode* n = Tree_CreateNode(tree, kNodeGprs, "");
    if (n != nullptr) n->setLocation("Station" + std::to_string(i));
  }
  GprsLink link(loop, clock, tree, events, nullptr, GprsLinkOptions{0, roundMs});
  link.setTimes(0, 10);
  if (!link.OpenGprsListener()) return {};
  pid_t sim_pid = StartStations(sim, link.boundPort(), stations);
  auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (link.connectedCount() < stations && std::chrono::steady_clock::now() < until) loop.runOnce(10);
  loop.setTimer(1, roundMs, [&] { link.PollRound(); });
  loop.setTimer(2, 1000, [&] { link.CheckGprsTimeouts(); });
  // One warm-up second: every station named and identified.
  until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  while (std::chrono::steady_clock::now() < until) loop.runOnce(10);
  const uint64_t f0 = link.framesReceived();
  const double c0 = ThreadCpuSeconds();
  until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (std::chrono::steady_clock::now() < until) loop.runOnce(10);
  Result r{ThreadCpuSeconds() - c0, link.framesReceived() - f0, RssKiB()};
  link.stop();
  StopStations(sim_pid);
  return r;
}

// The peer: a plain epoll server sending the same letter round and counting
// the answers' frames, with no parsing and no tree.
Result RunEpollPeer(const std::string& sim, int stations, int seconds, uint32_t roundMs) {
  int lfd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  bind(lfd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  listen(lfd, 128);
  getsockname(lfd, reinterpret_cast<sockaddr*>(&a), &len);
  int ep = epoll_create1(0);
  epoll_event ev{EPOLLIN, {.fd = lfd}};
  epoll_ctl(ep, EPOLL_CTL_ADD, lfd, &ev);
  pid_t sim_pid = StartStations(sim, ntohs(a.sin_port), stations);
  std::vector<int> conns;
  uint64_t frames = 0;
  const std::string letters = "LMVDRABIOPT";
  size_t letter = 0;
  auto nextRound = std::chrono::steady_clock::now();
  auto pass = [&] {
    epoll_event evs[256];
    int n = epoll_wait(ep, evs, 256, 10);
    for (int i = 0; i < n; ++i) {
      int fd = evs[i].data.fd;
      if (fd == lfd) {
        int c;
        while ((c = accept4(lfd, nullptr, nullptr, SOCK_NONBLOCK)) >= 0) {
          epoll_event ce{EPOLLIN, {.fd = c}};
          epoll_ctl(ep, EPOLL_CTL_ADD, c, &ce);
          conns.push_back(c);
        }
        continue;
      }
      char buf[1024];
      ssize_t got = recv(fd, buf, sizeof buf, 0);
      for (ssize_t k = 0; k < got; ++k) frames += buf[k] == '~';
    }
    if (std::chrono::steady_clock::now() >= nextRound) {
      nextRound += std::chrono::milliseconds(roundMs);
      char c = letters[letter++ % letters.size()];
      for (int fd : conns) send(fd, &c, 1, MSG_NOSIGNAL);
    }
  };
  auto until = std::chrono::steady_clock::now() + std::chrono::seconds(22);
  while (std::chrono::steady_clock::now() < until && static_cast<int>(conns.size()) < stations) pass();
  const uint64_t f0 = frames;
  const double c0 = ThreadCpuSeconds();
  until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (std::chrono::steady_clock::now() < until) pass();
  Result r{ThreadCpuSeconds() - c0, frames - f0, RssKiB()};
  StopStations(sim_pid);
  for (int fd : conns) close(fd);
  close(ep);
  close(lfd);
  return r;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: gprs_bench GPRS_SIM [--stations N] [--seconds S] [--round-ms R]\n");
    return 2;
  }
  std::string sim = argv[1];
  int stations = 1000, seconds = 10;
  uint32_t roundMs = 200;
  for (int i = 2; i + 1 < argc; i += 2) {
    std::string a = argv[i];
    if (a == "--stations") stations = atoi(argv[i + 1]);
    if (a == "--seconds") seconds = atoi(argv[i + 1]);
    if (a == "--round-ms") roundMs = static_cast<uint32_t>(atoi(argv[i + 1]));
  }
  signal(SIGPIPE, SIG_IGN);
  RaiseOpenFileLimit();
  Result link = RunLink(sim, stations, seconds, roundMs);
  Result peer = RunEpollPeer(sim, stations, seconds, roundMs);
  auto perReport = [](const Result& r) { return r.reports ? r.cpu * 1e6 / static_cast<double>(r.reports) : 0.0; };
  printf("stations %d, %d s, a letter each %u ms\n", stations, seconds, roundMs);
  printf("GPRS link:  %8llu reports  %7.2f us CPU per report  RSS %ld KiB\n",
         static_cast<unsigned long long>(link.reports), perReport(link), link.rss);
  printf("epoll peer: %8llu answers  %7.2f us CPU per answer  RSS %ld KiB\n",
         static_cast<unsigned long long>(peer.reports), perReport(peer), peer.rss);
  if (perReport(peer) > 0) printf("CPU ratio link/peer: %.1f\n", perReport(link) / perReport(peer));
  return 0;
}
