// A GSM modem simulator on a pseudo-terminal linked as COMn, for tests and
// the demo. It knows AT, AT+CMGF=0/1 and AT+CMGS in text mode ("> ", then
// the text up to Ctrl-Z; ESC aborts) and PDU mode (the announced length is
// checked against the PDU), and answers "+CMGS: n" and OK, or "+CMS ERROR".
//
//   gsm_sim --pty-dir DIR --com N [--out FILE] [--raw FILE] [--fault KIND] [--delay-ms N]
//
// --out: each message sent is appended as a line "TEXT <number> <hex of the
// text>" or "PDU <hex>". --raw: every byte received is appended.
// Faults: silence (answers nothing), error (ERROR to AT+CMGS), second-at (the
// first AT gets no answer), no-prompt (AT+CMGS gets no "> "), slow (every
// answer waits --delay-ms, default 1500).
// Prints "ready <link>" on stdout once the line is open.
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

namespace {

volatile sig_atomic_t g_stop = 0;  // set by the signal handler only
void OnSignal(int) { g_stop = 1; }

struct Options {
  std::string ptyDir, out, raw, fault;
  int com = 2;
  int delayMs = 1500;
};

[[noreturn]] void Usage(const char* why) {
  fprintf(stderr,
          "gsm_sim: %s\nusage: gsm_sim --pty-dir DIR --com N [--out FILE] [--raw FILE] "
          "[--fault silence|error|second-at|no-prompt|slow] [--delay-ms N]\n",
          why);
  exit(2);
}

void Append(const std::string& path, const std::string& text) {
  if (path.empty()) return;
  FILE* f = fopen(path.c_str(), "ae");
  if (f == nullptr) return;
  fwrite(text.data(), 1, text.size(), f);
  fclose(f);
}

std::string Hex(const std::string& bytes) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : bytes) {
    out += kHex[c >> 4];
    out += kHex[c & 15];
  }
  return out;
}

class Modem {
 public:
  Modem(const Options& o, int fd) : o_(o), fd_(fd) {}

  void feed(char c) {
    if (body_) {
      if (c == '\x1a') {
        body_ = false;
        finishMessage();
      } else if (c == '\x1b') {
        body_ = false;
        text_.clear();
        answer("\r\nOK\r\n");
      } else if (text_.size() < 4096) {
        text_ += c;
      }
      return;
    }
    if (c == '\n') return;
    if (c != '\r') {
      if (line_.size() < 512) line_ += c;
      return;
    }
    std::string cmd;
    cmd.swap(line_);
    command(cmd);
  }

 private:
  void answer(const std::string& text) {
    if (o_.fault == "silence") return;
    if (o_.fault == "slow") std::this_thread::sleep_for(std::chrono::milliseconds(o_.delayMs));
    size_t done = 0;
    for (int tries = 0; done < text.size() && tries < 100; ++tries) {
      ssize_t n = write(fd_, text.data() + done, text.size() - done);
      if (n > 0) done += static_cast<size_t>(n);
    }
  }

  void command(const std::string& cmd) {
    if (cmd == "AT") {
      if (o_.fault == "second-at" && ++atSeen_ == 1) return;
      answer("\r\nOK\r\n");
    } else if (cmd == "AT+CMGF=0" || cmd == "AT+CMGF=1") {
      pdu_ = cmd.back() == '0';
      answer("\r\nOK\r\n");
    } else if (cmd.rfind("AT+CMGS=", 0) == 0) {
      std::string arg = cmd.substr(8);
      bool ok;
      if (pdu_) {
        char* end = nullptr;
        announced_ = strtol(arg.c_str(), &end, 10);
        ok = !arg.empty() && *end == '\0' && announced_ > 0 && announced_ <= 255;
      } else {
        ok = arg.size() >= 3 && arg.front() == '"' && arg.back() == '"';
        number_ = ok ? arg.substr(1, arg.size() - 2) : "";
      }
      if (!ok || o_.fault == "error") {
        answer("\r\nERROR\r\n");
        return;
      }
      if (o_.fault == "no-prompt") return;
      body_ = true;
      text_.clear();
      answer("\r\n> ");
    } else if (!cmd.empty()) {
      answer("\r\nERROR\r\n");
    }
  }

  void finishMessage() {
    if (pdu_) {
      // The length counts the octets after the service-centre part ("00").
      bool hex = text_.size() % 2 == 0 && text_.find_first_not_of("0123456789ABCDEFabcdef") ==
                                              std::string::npos;
      if (!hex || text_.size() < 4 || static_cast<long>(text_.size() / 2 - 1) != announced_) {
        answer("\r\n+CMS ERROR: 304\r\n");
        return;
      }
      Append(o_.out, "PDU " + text_ + "\n");
    } else {
      Append(o_.out, "TEXT " + number_ + " " + Hex(text_) + "\n");
    }
    answer("\r\n+CMGS: " + std::to_string(++sent_) + "\r\n\r\nOK\r\n");
  }

  const Options& o_;
  int fd_;
  std::string line_;     // command being received
  std::string text_;     // message body being received
  std::string number_;   // text mode destination
  long announced_ = 0;   // PDU mode length
  bool pdu_ = false;
  bool body_ = false;
  int atSeen_ = 0;
  int sent_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) Usage(("missing value for " + a).c_str());
      return argv[++i];
    };
    if (a == "--pty-dir") {
      o.ptyDir = value();
    } else if (a == "--com") {
      o.com = atoi(value().c_str());
    } else if (a == "--out") {
      o.out = value();
    } else if (a == "--raw") {
      o.raw = value();
    } else if (a == "--fault") {
      o.fault = value();
      if (o.fault != "silence" && o.fault != "error" && o.fault != "second-at" &&
          o.fault != "no-prompt" && o.fault != "slow") {
        Usage(("unknown fault " + o.fault).c_str());
      }
    } else if (a == "--delay-ms") {
      o.delayMs = atoi(value().c_str());
    } else {
      Usage(("unknown option " + a).c_str());
    }
  }
  if (o.ptyDir.empty() || o.com < 1 || o.com > 255) Usage("give --pty-dir and --com 1..255");
  signal(SIGTERM, OnSignal);
  signal(SIGINT, OnSignal);
  signal(SIGPIPE, SIG_IGN);

  int fd = -1, keepSlave = -1;
  char name[256];
  if (openpty(&fd, &keepSlave, name, nullptr, nullptr) != 0) {
    fprintf(stderr, "gsm_sim: openpty: %s\n", strerror(errno));
    return 1;
  }
  termios t;
  if (tcgetattr(keepSlave, &t) == 0) {
    cfmakeraw(&t);
    tcsetattr(keepSlave, TCSANOW, &t);
  }
  std::string link = o.ptyDir + "/COM" + std::to_string(o.com);
  std::string tmp = link + ".tmp" + std::to_string(getpid());
  unlink(tmp.c_str());
  if (symlink(name, tmp.c_str()) != 0 || rename(tmp.c_str(), link.c_str()) != 0) {
    fprintf(stderr, "gsm_sim: link %s -> %s: %s\n", link.c_str(), name, strerror(errno));
    return 1;
  }
  printf("ready %s\n", link.c_str());
  fflush(stdout);

  Modem modem(o, fd);
  while (!g_stop) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 200) <= 0) continue;
    char buf[256];
    ssize_t n = read(fd, buf, sizeof buf);
    if (n <= 0) continue;
    Append(o.raw, std::string(buf, static_cast<size_t>(n)));
    for (ssize_t i = 0; i < n; ++i) modem.feed(buf[i]);
  }
  unlink(link.c_str());
  close(keepSlave);
  close(fd);
  return 0;
}
