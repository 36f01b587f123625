#include "platform/serial_line.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "platform/paths.h"

namespace lark {

// ---- resolver ----

int ComNumberOf(std::string_view comText) {
  if (comText.size() < 4 || comText.size() > 6) return 0;
  for (size_t i = 0; i < 3; ++i) {
    if ((comText[i] & ~0x20) != "COM"[i]) return 0;
  }
  int n = 0;
  for (size_t i = 3; i < comText.size(); ++i) {
    char c = comText[i];
    if (c < '0' || c > '9') return 0;
    n = n * 10 + (c - '0');
  }
  return n >= 1 && n <= 255 ? n : 0;
}

std::string ComPortResolver::resolve(int com) {
  auto it = overrides.find(com);
  if (it != overrides.end() && !it->second.empty()) return kept_[com] = it->second;
  std::string name = "COM" + std::to_string(com);
  if (!linkDir.empty()) {
    std::string link = JoinPath(linkDir, name);
    // A link whose target is gone (its simulator ended) still names the
    // port: opening it fails, rather than falling through to a real ttyS.
    struct stat st;
    if (::lstat(link.c_str(), &st) == 0) return kept_[com] = link;
  }
  auto was = kept_.find(com);
  if (was != kept_.end()) return was->second;
  return "/dev/ttyS" + std::to_string(com - 1);
}

std::string DefaultSerialLinkDir(std::string_view installDir) {
  const char* env = std::getenv("LARK_SERIAL_DIR");
  if (env != nullptr && env[0] != '\0') return env;
  return JoinPath(installDir, "ports");
}

// ---- SerialLine ----

namespace {

bool BaudConstant(uint32_t baud, speed_t* out) {
  switch (baud) {
    case 1200:
      *out = B1200;
      return true;
    case 2400:
      *out = B2400;
      return true;
    case 4800:
      *out = B4800;
      return true;
    case 9600:
      *out = B9600;
      return true;
    case 19200:
      *out = B19200;
      return true;
    case 38400:
      *out = B38400;
      return true;
    case 57600:
      *out = B57600;
      return true;
    case 115200:
      *out = B115200;
      return true;
    default:
      return false;
  }
}

uint64_t NowMs() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
}

std::string ErrorText(const char* call, const std::string& path, int err) {
  return std::string(call) + " " + path + ": " + std::strerror(err);
}

}  // namespace

std::unique_ptr<SerialLine> SerialLine::open(const std::string& path,
                                             const SerialLineParams& params, uint32_t settleMs,
                                             ModemLines lines, std::string* error,
                                             std::set<std::string>* notes) {
  speed_t speed;
  if (!BaudConstant(params.baud, &speed)) {
    if (error) *error = "open " + path + ": unsupported baud rate " + std::to_string(params.baud);
    return nullptr;
  }
  int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    if (error) *error = ErrorText("open", path, errno);
    return nullptr;
  }
  std::unique_ptr<SerialLine> line(new SerialLine(fd));
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if (error) *error = ErrorText("flock", path, errno) + " (another program holds the port)";
    return nullptr;
  }
  line->exclusive_ = ::ioctl(fd, TIOCEXCL) == 0;
  termios tio;
  if (::tcgetattr(fd, &tio) != 0) {
    if (error) *error = ErrorText("tcgetattr", path, errno);
    return nullptr;
  }
  ::cfmakeraw(&tio);
  tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
  tio.c_cflag |= CLOCAL | CREAD | (params.dataBits == 7 ? CS7 : CS8);
  if (params.evenParity) tio.c_cflag |= PARENB;
  tio.c_cc[VMIN] = 0;
  tio.c_cc[VTIME] = 0;
  ::cfsetispeed(&tio, speed);
  ::cfsetospeed(&tio, speed);
  bool wantOdd = params.evenParity || params.dataBits == 7;
  if (::tcsetattr(fd, TCSANOW, &tio) != 0) {
    if (!wantOdd) {
      if (error) *error = ErrorText("tcsetattr", path, errno);
      return nullptr;
    }
  }
  if (wantOdd) {
    // Pseudo-terminals keep neither parity nor 7 data bits: check what the
    // line took and fall back to 8N1 so the port still works.
    termios got;
    bool kept = ::tcgetattr(fd, &got) == 0 && (got.c_cflag & CSIZE) == (tio.c_cflag & CSIZE) &&
                (got.c_cflag & PARENB) == (tio.c_cflag & PARENB);
    if (!kept) {
      tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB);
      tio.c_cflag |= CS8;
      if (::tcsetattr(fd, TCSANOW, &tio) != 0) {
        if (error) *error = ErrorText("tcsetattr", path, errno);
        return nullptr;
      }
      if (notes) notes->insert("parity");
    }
  }
  ::tcflush(fd, TCIOFLUSH);
  if (settleMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(settleMs));
  // A pseudo-terminal has no modem lines, which is no error.
  int dtr = TIOCM_DTR, rts = TIOCM_RTS;
  int dtrCall = lines == ModemLines::kDtrAndRts ? TIOCMBIS : TIOCMBIC;
  if (::ioctl(fd, dtrCall, &dtr) != 0 || ::ioctl(fd, TIOCMBIS, &rts) != 0) {
    if (notes) notes->insert("modem lines");
  }
  return line;
}

SerialLine::~SerialLine() {
  if (fd_ < 0) return;
  // Exclusive mode outlives the descriptor while another holder keeps the
  // tty open (a simulator's pty): lift it so the port can be opened again.
  // Only when it was ours: an open refused by the lock must not lift the
  // exclusive mode of the program that holds the port.
  if (exclusive_) (void)::ioctl(fd_, TIOCNXCL);
  ::close(fd_);
}

void SerialLine::noteError(int err) {
  if (err == EIO || err == ENODEV || err == ENXIO || err == EBADF) failed_ = true;
}

void SerialLine::purgeReceive() {
  if (::tcflush(fd_, TCIFLUSH) != 0) noteError(errno);
}

ssize_t SerialLine::writeSome(const uint8_t* data, size_t size) {
  if (failed_) return -1;
  for (int attempt = 0; attempt < 2; ++attempt) {
    ssize_t n = ::write(fd_, data, size);
    if (n >= 0) return n;
    if (errno == EINTR) continue;
    if (errno != EAGAIN) {
      noteError(errno);
      return -1;
    }
    pollfd p{fd_, POLLOUT, 0};
    ::poll(&p, 1, static_cast<int>(size) + 1);
  }
  return 0;
}

size_t SerialLine::readTimed(uint8_t* out, size_t wanted, uint32_t firstMs, uint32_t gapMs) {
  if (failed_) return 0;
  const uint64_t deadline = NowMs() + firstMs;
  size_t got = 0;
  while (got < wanted) {
    uint64_t now = NowMs();
    int waitMs;
    if (got == 0) {
      waitMs = now >= deadline ? 0 : static_cast<int>(deadline - now);
    } else {
      waitMs = static_cast<int>(gapMs);
    }
    pollfd p{fd_, POLLIN, 0};
    int r = ::poll(&p, 1, waitMs);
    if (r < 0) {
      if (errno == EINTR) continue;
      noteError(errno);
      break;
    }
    if (r == 0) break;
    ssize_t n = ::read(fd_, out + got, wanted - got);
    if (n > 0) {
      got += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
    if (n < 0) noteError(errno);
    // End of file, or a hang-up with nothing to read: the line is gone.
    if (n == 0 || (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) failed_ = true;
    break;
  }
  return got;
}

}  // namespace lark
