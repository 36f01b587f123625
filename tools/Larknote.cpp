// Larknote: the desktop-message program the service starts for alarm popups.
//
//   Larknote <target> <message...>
//
// <target> is "*" (every computer) or one computer name; the message is the
// rest of the arguments joined by blanks. With a desktop session it shows the
// message through notify-send; otherwise, or when that fails, it appends one
// line to Larknote.log beside this program. The service does not wait for it
// and relies on no result.
#include <sys/wait.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "platform/paths.h"
#include "platform/process.h"

namespace {

bool HasDesktop() {
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"}) {
    const char* v = std::getenv(name);
    if (v != nullptr && *v != '\0') return true;
  }
  return false;
}

// Control characters would split the log line or confuse a terminal.
std::string OneLine(const std::string& s) {
  std::string out;
  out.reserve(s.size());
  for (char c : s) out.push_back(static_cast<unsigned char>(c) < 0x20 || c == 0x7f ? ' ' : c);
  return out;
}

bool ShowOnDesktop(const std::string& target, const std::string& message) {
  // "--" ends notify-send's options, so a message starting with '-' stays text.
  std::string title = target == "*" ? "Gridwarden Manager" : "Gridwarden Manager (" + target + ")";
  pid_t pid = lark::Spawn({"notify-send", "--", title, message});
  if (pid <= 0) return false;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return false;
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool AppendToLog(const std::string& target, const std::string& message) {
  std::string path = lark::JoinPath(lark::ExecutableDir(), "Larknote.log");
  FILE* f = std::fopen(path.c_str(), "a");
  if (f == nullptr) return false;
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y/%m/%d %H:%M:%S", &tm);
  std::fprintf(f, "%s\t%s\t%s\n", stamp, OneLine(target).c_str(), OneLine(message).c_str());
  return std::fclose(f) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: Larknote <* | computer> <message>\n");
    return 2;
  }
  std::string target = argv[1];
  std::string message = argv[2];
  for (int i = 3; i < argc; ++i) message.append(" ").append(argv[i]);
  if (HasDesktop() && ShowOnDesktop(target, message)) return 0;
  return AppendToLog(target, message) ? 0 : 1;
}
