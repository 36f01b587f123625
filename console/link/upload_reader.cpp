#include "console/link/upload_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "console/link/request_payloads.h"

namespace lark {

bool UploadReader::ReadUploadChunk(const std::string& path, bool cont, uint32_t& length, Bytes buffer) {
  if (length > buffer.size() || length > kUploadChunkMax) return false;
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return false;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return false;
  }
  if (!cont) offset_ = 0;
  uint32_t got = 0;
  bool ok = true;
  while (got < length) {
    const ssize_t n = ::pread(fd, buffer.data() + got, length - got, static_cast<off_t>(offset_ + got));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      ok = false;
      break;
    }
    if (n == 0) break;
    got += static_cast<uint32_t>(n);
  }
  ::close(fd);
  if (!ok) return false;
  offset_ += got;
  length = got;
  return true;
}

}  // namespace lark
