#include "tests/support/modbus_peer.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

#include "tests/support/temp_dir.h"

namespace lark::test {

namespace {

pid_t Launch(const std::vector<std::string>& args, int in, int out) {
  pid_t pid = fork();
  if (pid == 0) {
    setpgid(0, 0);
    if (in >= 0) dup2(in, 0);
    if (out >= 0) dup2(out, 1);
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, 2);
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  return pid;
}

bool Exists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

void Kill(pid_t& pid) {
  if (pid <= 0) return;
  kill(pid, SIGTERM);
  waitpid(pid, nullptr, 0);
  pid = -1;
}

}  // namespace

ModbusPeer::~ModbusPeer() { stop(); }

bool ModbusPeer::start(const std::string& dir, const std::string& com,
                       const std::vector<std::string>& slaves, int baud) {
  const std::string master = dir + "/" + com;
  const std::string peerEnd = dir + "/" + com + ".peer";
  socat_ =
      Launch({"/usr/bin/socat", "pty,raw,echo=0,link=" + master, "pty,raw,echo=0,link=" + peerEnd},
             -1, -1);
  for (int i = 0; i < 200 && !(Exists(master) && Exists(peerEnd)); ++i) usleep(20000);
  if (!Exists(master) || !Exists(peerEnd)) return false;
  return startOn(peerEnd, slaves, baud);
}

bool ModbusPeer::startOn(const std::string& peerEnd, const std::vector<std::string>& slaves,
                         int baud) {
  int in[2], out[2];
  if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) return false;
  std::vector<std::string> args = {
      "/usr/bin/python3", SourcePath("tests/peers/modbus_rtu_slave.py"),
      "--port",           peerEnd,
      "--baud",           std::to_string(baud)};
  for (const std::string& s : slaves) {
    args.push_back("--slave");
    args.push_back(s);
  }
  peer_ = Launch(args, in[0], out[1]);
  close(in[0]);
  close(out[1]);
  toPeer_ = in[1];
  fromPeer_ = out[0];
  reader_ = std::thread([this] {
    std::string buf;
    char c;
    while (read(fromPeer_, &c, 1) == 1) {
      if (c != '\n') {
        buf.push_back(c);
        continue;
      }
      std::lock_guard<std::mutex> g(mu_);
      lines_.push_back(buf);
      buf.clear();
    }
  });
  return waitForLine("ready", 30);
}

bool ModbusPeer::waitForLine(const std::string& line, int seconds) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (std::chrono::steady_clock::now() < end) {
    {
      std::lock_guard<std::mutex> g(mu_);
      for (const std::string& l : lines_) {
        if (l == line) return true;
      }
    }
    usleep(10000);
  }
  return false;
}

bool ModbusPeer::command(const std::string& line) {
  const std::string text = line + "\n";
  if (write(toPeer_, text.data(), text.size()) != static_cast<ssize_t>(text.size())) return false;
  return waitForLine("ok " + line, 10);
}

std::vector<std::string> ModbusPeer::lines() const {
  std::lock_guard<std::mutex> g(mu_);
  return lines_;
}

std::vector<std::string> ModbusPeer::linesStartingWith(const std::string& prefix) const {
  std::vector<std::string> out;
  for (const std::string& l : lines()) {
    if (l.rfind(prefix, 0) == 0) out.push_back(l);
  }
  return out;
}

void ModbusPeer::stop() {
  Kill(peer_);
  Kill(socat_);
  if (toPeer_ >= 0) close(toPeer_);
  toPeer_ = -1;
  if (reader_.joinable()) reader_.join();
  if (fromPeer_ >= 0) close(fromPeer_);
  fromPeer_ = -1;
}

}  // namespace lark::test
