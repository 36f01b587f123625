#include "platform/sound_player.h"

#include <errno.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <vector>

#include "platform/process.h"

namespace lark {

bool PulseServerAnswers() {
  std::string path;
  if (const char* server = getenv("PULSE_SERVER"); server != nullptr && *server != '\0') {
    std::string s = server;
    if (s.rfind("unix:", 0) != 0) return false;  // only local servers are tried
    path = s.substr(5);
  } else if (const char* run = getenv("XDG_RUNTIME_DIR"); run != nullptr && *run == '/') {
    path = std::string(run) + "/pulse/native";
  } else {
    return false;
  }
  sockaddr_un addr{};
  if (path.size() >= sizeof addr.sun_path) return false;
  addr.sun_family = AF_UNIX;
  std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
  int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  bool ok = connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0;
  close(fd);
  return ok;
}

ProcessSoundPlayer::~ProcessSoundPlayer() { stopCurrent(); }

void ProcessSoundPlayer::stopCurrent() {
  if (child_ <= 0) return;
  kill(child_, SIGTERM);
  int status = 0;
  while (waitpid(child_, &status, 0) < 0 && errno == EINTR) {
  }
  child_ = -1;
}

std::optional<int> ProcessSoundPlayer::reap() {
  if (child_ <= 0) return std::nullopt;
  int status = 0;
  pid_t r = waitpid(child_, &status, WNOHANG);
  if (r == 0) return std::nullopt;
  child_ = -1;
  if (r < 0) return std::nullopt;
  return status;
}

bool ProcessSoundPlayer::play(const std::string& path) {
  stopCurrent();
  std::string program = program_;
  if (program.empty()) program = PulseServerAnswers() ? "paplay" : "aplay";
  std::vector<std::string> argv{program};
  if (program == "aplay") argv.push_back("-q");
  argv.push_back("--");
  argv.push_back(path);
  child_ = Spawn(argv);
  return child_ > 0;
}

}  // namespace lark
