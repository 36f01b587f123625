#include "records/history_files.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "platform/paths.h"

namespace lark {

int OpenCreatingFolders(const std::string& path) {
  return OpenRegularFileIn(path, O_RDWR | O_CREAT, 0644, true);
}

long long CutTornLine(int fd, long long size) {
  char buf[4096];
  long long end = size;
  while (end > 0) {
    const long long start = std::max(0LL, end - static_cast<long long>(sizeof buf));
    const size_t n = static_cast<size_t>(end - start);
    if (pread(fd, buf, n, start) != static_cast<ssize_t>(n)) return -1;
    for (size_t i = n; i > 0; --i) {
      if (buf[i - 1] == '\n') {
        const long long keep = start + static_cast<long long>(i);
        if (keep != size && ftruncate(fd, keep) != 0) return -1;
        return keep;
      }
    }
    end = start;
  }
  if (size != 0 && ftruncate(fd, 0) != 0) return -1;
  return 0;
}

namespace {

// Cuts a torn last line of the file open on `fd`, then writes the lines;
// the file's size after them, or -1.
long long AppendLines(int fd, std::string_view line, std::string_view firstLine) {
  const off_t size = lseek(fd, 0, SEEK_END);
  const long long end = size < 0 ? -1 : CutTornLine(fd, size);
  if (end < 0 || lseek(fd, static_cast<off_t>(end), SEEK_SET) != static_cast<off_t>(end)) return -1;
  std::string text;
  if (end == 0 && !firstLine.empty()) text.append(firstLine).append("\r\n");
  text.append(line).append("\r\n");
  if (!WriteAll(fd, text)) return -1;
  return end + static_cast<long long>(text.size());
}

}  // namespace

bool AppendHistoryLine(const std::string& path, std::string_view line, std::string_view firstLine) {
  const int fd = OpenCreatingFolders(path);
  if (fd < 0) return false;
  const bool ok = AppendLines(fd, line, firstLine) >= 0;
  close(fd);
  return ok;
}

OpenHistoryFiles::~OpenHistoryFiles() { closeAll(); }

void OpenHistoryFiles::closeAll() {
  for (auto& [path, f] : files_) close(f.fd);
  files_.clear();
}

bool OpenHistoryFiles::append(const std::string& path, std::string_view line,
                              std::string_view firstLine) {
  auto it = files_.find(path);
  if (it != files_.end()) {
    struct stat st {};
    // Ours as we left it: written straight at its end. Removed or changed
    // by someone else meanwhile: opened again by its name.
    if (fstat(it->second.fd, &st) == 0 && st.st_nlink > 0 && st.st_size == it->second.end) {
      std::string text(line);
      text.append("\r\n");
      if (WriteAll(it->second.fd, text)) {
        it->second.end += static_cast<long long>(text.size());
        return true;
      }
    }
    close(it->second.fd);
    files_.erase(it);
  }
  const int fd = OpenCreatingFolders(path);
  if (fd < 0) return false;
  const long long end = AppendLines(fd, line, firstLine);
  if (end >= 0 && files_.size() < limit_) {
    files_.emplace(path, File{fd, end});
  } else {
    close(fd);
  }
  return end >= 0;
}

std::array<uint8_t, kPresentSnapshotSize> EncodePresentSnapshot(const WallTime& now,
                                                                int32_t sensorAverage,
                                                                int32_t inverterSum) {
  std::array<uint8_t, kPresentSnapshotSize> r{};
  putU8(r, present_off::kDay, static_cast<uint8_t>(now.day));
  putU8(r, present_off::kHour, static_cast<uint8_t>(now.hour));
  putU8(r, present_off::kMinute, static_cast<uint8_t>(now.minute));
  putU8(r, present_off::kSecond, static_cast<uint8_t>(now.second));
  putI32(r, present_off::kSensorAverage, sensorAverage);
  putI32(r, present_off::kInverterSum, inverterSum);
  return r;
}

void ResetPresentSnapshot(const std::string& installDir, const WallTime& now, int32_t sensorAverage,
                          int32_t inverterSum) {
  const std::string path = JoinPath(installDir, "present.dat");
  if (unlink(path.c_str()) == 0) return;
  const auto r = EncodePresentSnapshot(now, sensorAverage, inverterSum);
  WriteFileAtomic(path, std::string_view(reinterpret_cast<const char*>(r.data()), r.size()));
}

}  // namespace lark
