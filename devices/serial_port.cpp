#include "devices/serial_port.h"

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

// ---- SerialPort ----

void SerialPort::attachTrace(SerialTrace* trace, int com, uint8_t protocol) {
  trace_ = trace;
  com_ = com;
  protocol_ = protocol;
}

bool SerialPort::write(CBytes frame) {
  size_t done = 0;
  for (int i = 0; i < kWriteTries && done < frame.size(); ++i) {
    ssize_t n = writeSome(frame.subspan(done));
    if (n > 0) done += static_cast<size_t>(n);
  }
  if (trace_ != nullptr) trace_->traceFrame(com_, protocol_, frame, TraceDirection::kTransmit);
  return done == frame.size();
}

size_t SerialPort::read(Bytes out, size_t wanted) {
  if (wanted == 0 || wanted > kMaxRead || wanted > out.size()) return 0;
  size_t n = readTimed(out.first(wanted), wanted);
  if (n > wanted) n = wanted;
  if (n > 0 && trace_ != nullptr) {
    trace_->traceFrame(com_, protocol_, CBytes(out.data(), n), TraceDirection::kReceive);
  }
  return n;
}

size_t DrainComPort(SerialPort& port, bool pause) {
  uint8_t buf[8];
  size_t total = port.read(Bytes(buf, sizeof buf), 1);
  if (total == 0) return 0;
  while (total < kMaxDrainBytes && !port.failed()) {
    size_t n = port.read(Bytes(buf, sizeof buf), 5);
    if (n == 0) break;
    total += n;
    if (pause) port.sleepMs(5);
  }
  return total;
}

void WaitMilliseconds(const Clock& clock, uint32_t ms) {
  uint32_t start = clock.tickMs();
  while (TickElapsed(clock.tickMs(), start) < ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

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

std::string ComPortResolver::resolve(int com) const {
  auto it = overrides.find(com);
  if (it != overrides.end() && !it->second.empty()) return it->second;
  std::string name = "COM" + std::to_string(com);
  if (!linkDir.empty()) {
    std::string link = JoinPath(linkDir, name);
    // A link whose target is gone (its simulator ended) still names the
    // port: opening it fails, rather than falling through to a real ttyS.
    struct stat st;
    if (::lstat(link.c_str(), &st) == 0) return link;
  }
  return "/dev/ttyS" + std::to_string(com - 1);
}

std::string DefaultSerialLinkDir(std::string_view installDir) {
  const char* env = std::getenv("LARK_SERIAL_DIR");
  if (env != nullptr && env[0] != '\0') return env;
  return JoinPath(installDir, "ports");
}

// ---- TermiosSerialPort ----

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

std::unique_ptr<TermiosSerialPort> TermiosSerialPort::open(const std::string& path,
                                                           const SerialLineParams& params,
                                                           uint32_t settleMs, std::string* error,
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
  std::unique_ptr<TermiosSerialPort> port(new TermiosSerialPort(fd));
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if (error) *error = ErrorText("flock", path, errno) + " (another program holds the port)";
    return nullptr;
  }
  port->exclusive_ = ::ioctl(fd, TIOCEXCL) == 0;
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
  // DTR off, RTS on; a pseudo-terminal has no modem lines, which is no error.
  int dtr = TIOCM_DTR, rts = TIOCM_RTS;
  if (::ioctl(fd, TIOCMBIC, &dtr) != 0 || ::ioctl(fd, TIOCMBIS, &rts) != 0) {
    if (notes) notes->insert("modem lines");
  }
  return port;
}

TermiosSerialPort::~TermiosSerialPort() {
  if (fd_ < 0) return;
  // Exclusive mode outlives the descriptor while another holder keeps the
  // tty open (a simulator's pty): lift it so the port can be opened again.
  // Only when it was ours: an open refused by the lock must not lift the
  // exclusive mode of the program that holds the port.
  if (exclusive_) (void)::ioctl(fd_, TIOCNXCL);
  ::close(fd_);
}

void TermiosSerialPort::noteError(int err) {
  if (err == EIO || err == ENODEV || err == ENXIO || err == EBADF) failed_ = true;
}

void TermiosSerialPort::purgeReceive() {
  if (::tcflush(fd_, TCIFLUSH) != 0) noteError(errno);
}

void TermiosSerialPort::sleepMs(uint32_t ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

ssize_t TermiosSerialPort::writeSome(CBytes data) {
  if (failed_) return -1;
  // A full output queue gets a short, bounded wait (1 ms per byte, as the
  // write time-out of the line), never an endless block.
  for (int attempt = 0; attempt < 2; ++attempt) {
    ssize_t n = ::write(fd_, data.data(), data.size());
    if (n >= 0) return n;
    if (errno == EINTR) continue;
    if (errno != EAGAIN) {
      noteError(errno);
      return -1;
    }
    pollfd p{fd_, POLLOUT, 0};
    ::poll(&p, 1, static_cast<int>(data.size()) + 1);
  }
  return 0;
}

size_t TermiosSerialPort::readTimed(Bytes out, size_t wanted) {
  if (failed_) return 0;
  const uint64_t deadline = NowMs() + wanted;  // 1 ms per wanted byte in all
  size_t got = 0;
  while (got < wanted) {
    uint64_t now = NowMs();
    int waitMs;
    if (got == 0) {
      waitMs = now >= deadline ? 0 : static_cast<int>(deadline - now);
    } else {
      // After the first byte, 10 ms of silence ends the read.
      waitMs = static_cast<int>(kInterByteMs);
    }
    pollfd p{fd_, POLLIN, 0};
    int r = ::poll(&p, 1, waitMs);
    if (r < 0) {
      if (errno == EINTR) continue;
      noteError(errno);
      break;
    }
    if (r == 0) break;
    ssize_t n = ::read(fd_, out.data() + got, wanted - got);
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

// ---- TermiosPortOpener ----

TermiosPortOpener::TermiosPortOpener(ComPortResolver resolver, SerialLogFn log, uint32_t settleMs)
    : resolver_(std::move(resolver)), log_(std::move(log)), settleMs_(settleMs) {}

void TermiosPortOpener::setPortPaths(std::map<int, std::string> paths) {
  std::lock_guard<std::mutex> g(mu_);
  resolver_.overrides = std::move(paths);
}

std::unique_ptr<SerialPort> TermiosPortOpener::open(int com, const SerialLineParams& params) {
  std::string path;
  {
    std::lock_guard<std::mutex> g(mu_);
    path = resolver_.resolve(com);
  }
  std::string error;
  std::set<std::string> notes;
  auto port = TermiosSerialPort::open(path, params, settleMs_, &error, &notes);
  std::lock_guard<std::mutex> g(mu_);
  std::string name = "COM" + std::to_string(com);
  if (!port) {
    // Every pass retries a failed open: log the failure once per change.
    std::string& last = lastFailure_[com];
    if (last != error) {
      last = error;
      if (log_) log_(name + ": cannot open: " + error);
    }
    return nullptr;
  }
  if (!lastFailure_[com].empty()) {
    lastFailure_[com].clear();
    if (log_) log_(name + ": opened " + path);
  }
  for (const std::string& note : notes) {
    if (!loggedNotes_.insert(name + " " + note).second) continue;
    if (!log_) continue;
    if (note == "parity") {
      log_(name + " (" + path + "): the line keeps no parity or 7 data bits; using 8N1");
    } else {
      log_(name + " (" + path + "): no modem lines; DTR/RTS not set");
    }
  }
  return port;
}

}  // namespace lark
