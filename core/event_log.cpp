#include "core/event_log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/paths.h"

namespace lark {

namespace {

constexpr const char* kLogName = "Event.log";
constexpr const char* kTmpName = "Tmp.dat";

// Reads one line of any length; false at the end of the file. `hasEnd` tells
// whether it ended in LF; a CR before the LF is dropped.
bool ReadLine(FILE* f, std::string& line, bool& hasEnd) {
  line.clear();
  hasEnd = false;
  int c;
  bool any = false;
  while ((c = std::fgetc(f)) != EOF) {
    any = true;
    if (c == '\n') {
      hasEnd = true;
      break;
    }
    line.push_back(static_cast<char>(c));
  }
  if (hasEnd && !line.empty() && line.back() == '\r') line.pop_back();
  return any;
}

// Appends `line` in one write; a part written short is cut off again, so the
// file never holds a torn line.
bool AppendLine(int fd, std::string_view line) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) return false;
  ssize_t n;
  do {
    n = ::write(fd, line.data(), line.size());
  } while (n < 0 && errno == EINTR);
  if (n == static_cast<ssize_t>(line.size())) return true;
  if (n > 0) (void)!::ftruncate(fd, st.st_size);
  return false;
}

// True when the file is empty or ends in LF; otherwise adds a line end.
bool EndsWithLineEnd(int fd) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) return false;
  if (st.st_size == 0) return true;
  char last = 0;
  if (::pread(fd, &last, 1, st.st_size - 1) != 1) return false;
  return last == '\n' || AppendLine(fd, "\r\n");
}

}  // namespace

std::string FormatEventLogLine(int32_t number, const WallTime& t, std::string_view levelWord,
                               int32_t code, std::string_view text) {
  char head[96];
  std::snprintf(head, sizeof head, "%d\t%04d/%02d/%02d\t%02d:%02d:%02d\t", number, t.year, t.month,
                t.day, t.hour, t.minute, t.second);
  std::string line(head);
  line.append(levelWord);
  line += '\t';
  line += std::to_string(code);
  line += '\t';
  line.append(text);
  line += "\r\n";
  return line;
}

EventLog::EventLog(const Clock& clock, LevelNamesSource levelNames)
    : clock_(clock), levelNames_(std::move(levelNames)) {}

void EventLog::setDatabaseHook(DatabaseHook hook) {
  std::lock_guard<std::mutex> g(hookMu_);
  dbHook_ = std::move(hook);
}

void EventLog::setPath(const std::string& historyDir, const std::string& mapName) {
  std::lock_guard<std::mutex> g(busy_);
  historyDir_ = ToSlash(historyDir);
  if (mapName.empty())
    folder_ = historyDir_;
  else if (IsSafeName(mapName))
    folder_ = JoinPath(historyDir_, mapName);
  else
    folder_.clear();
  countLinesLocked();
}

void EventLog::setMaxLines(int32_t maxLines) {
  std::lock_guard<std::mutex> g(busy_);
  maxLines_ = maxLines;
}

void EventLog::changeMaxLines(int32_t maxLines) {
  std::lock_guard<std::mutex> g(busy_);
  if (maxLines == maxLines_) return;
  if (maxLines < lineCount_) trimLocked(static_cast<int64_t>(lineCount_) - maxLines + maxLines / 4);
  maxLines_ = maxLines;
  countLinesLocked();
}

void EventLog::countLines() {
  std::lock_guard<std::mutex> g(busy_);
  countLinesLocked();
}

int32_t EventLog::lineCount() const {
  std::lock_guard<std::mutex> g(busy_);
  return lineCount_;
}

int32_t EventLog::maxLines() const {
  std::lock_guard<std::mutex> g(busy_);
  return maxLines_;
}

std::string EventLog::filePath() const {
  std::lock_guard<std::mutex> g(busy_);
  return folder_.empty() ? std::string() : JoinPath(folder_, kLogName);
}

std::optional<std::string> EventLog::readContents() const {
  std::lock_guard<std::mutex> g(busy_);
  if (folder_.empty()) return std::nullopt;
  return ReadRegularFile(JoinPath(folder_, kLogName));
}

void EventLog::WriteEventLog(int32_t number, uint32_t level, int32_t code, std::string_view text) {
  writeEvent(number, level, code, text);
}

bool EventLog::writeEvent(int32_t number, uint32_t level, int32_t code, std::string_view text) {
  if (text.empty() || text.front() == '\0') return true;
  // A text from a console or a device must not start a line of its own or
  // shift the fields.
  const std::string clean = OneLineText(text);

  DatabaseHook hook;
  {
    std::lock_guard<std::mutex> g(hookMu_);
    hook = dbHook_;
  }
  const WallTime when = clock_.now();
  if (hook) hook(when, number, level, code, clean);

  std::shared_ptr<const LevelNames> names = levelNames_ ? levelNames_() : nullptr;
  const LevelNames& words = names ? *names : EnglishLevelNames();

  std::lock_guard<std::mutex> g(busy_);
  if (maxLines_ < kEventLogMinLines || folder_.empty()) return false;
  const std::string path = JoinPath(folder_, kLogName);
  int fd = -1;
  if (ensureFolderLocked()) {
    fd = OpenRegularFile(path, O_RDWR | O_APPEND | O_CREAT);
    if (fd < 0 && (errno == ELOOP || errno == EPERM) && !linkReported_) {
      linkReported_ = true;
      if (problemLog_) {
        problemLog_(path + " is a link or not a plain file: event lines are not written");
      }
    }
  }
  // A line cut short by a crash or a full disk is ended before the next one.
  bool ok = fd >= 0 && EndsWithLineEnd(fd);
  if (ok && lost_ > 0) {
    const std::string report = std::to_string(lost_) + " events could not be written";
    ok = AppendLine(fd, FormatEventLogLine(0, when, OneLineText(words[kLevelWarning]),
                                           kSystemEventCode, report));
    if (ok) {
      lost_ = 0;
      countAppendedLocked();
    }
  }
  ok = ok && AppendLine(fd, FormatEventLogLine(number, when, OneLineText(words[ClampLevel(level)]),
                                               code, clean));
  if (fd >= 0) ::close(fd);
  if (!ok) {
    if (lost_ < INT32_MAX) ++lost_;
    return false;
  }
  countAppendedLocked();
  return true;
}

void EventLog::countAppendedLocked() {
  if (lineCount_ < INT32_MAX) ++lineCount_;
  if (lineCount_ > maxLines_)
    trimLocked(static_cast<int64_t>(lineCount_) - maxLines_ + maxLines_ / 4);
}

bool EventLog::ensureFolderLocked() {
  if (IsDirectory(folder_)) return true;
  // One level only: the history folder itself is the settings' business.
  ::mkdir(folder_.c_str(), 0755);
  return IsDirectory(folder_);
}

void EventLog::countLinesLocked() {
  lineCount_ = 0;
  if (folder_.empty()) return;
  FILE* f = OpenRegularStream(JoinPath(folder_, kLogName), "rb");
  if (f == nullptr) return;
  std::string line;
  bool hasEnd = false;
  int64_t pieces = 0;
  while (ReadLine(f, line, hasEnd)) pieces += EventLogPieces(line.size(), hasEnd);
  std::fclose(f);
  lineCount_ = pieces > INT32_MAX ? INT32_MAX : static_cast<int32_t>(pieces);
}

// Drops the oldest dropCount + 1 pieces, rounded up to whole lines, through
// Tmp.dat and one rename, so the log is either the old one or the trimmed
// one; any failure keeps the old log as it was.
void EventLog::trimLocked(int64_t dropCount) {
  if (folder_.empty()) return;
  const std::string logPath = JoinPath(folder_, kLogName);
  const std::string tmpPath = JoinPath(folder_, kTmpName);
  FILE* in = OpenRegularStream(logPath, "rb");
  if (in == nullptr) return;
  // Never through a link someone put in place of our own temp file.
  const int outFd = OpenRegularFile(tmpPath, O_WRONLY | O_CREAT | O_TRUNC);
  FILE* out = outFd >= 0 ? ::fdopen(outFd, "wb") : nullptr;
  if (out == nullptr) {
    if (outFd >= 0) ::close(outFd);
    std::fclose(in);
    return;
  }
  const int64_t toSkip = dropCount >= 0 ? dropCount + 1 : 0;
  int64_t skipped = 0;
  std::string line;
  bool hasEnd = false;
  bool ok = true;
  while (ok && ReadLine(in, line, hasEnd)) {
    if (skipped < toSkip) {
      skipped += EventLogPieces(line.size(), hasEnd);
      continue;
    }
    line += "\r\n";
    ok = std::fwrite(line.data(), 1, line.size(), out) == line.size();
  }
  ok = ok && !std::ferror(in);
  std::fclose(in);
  ok = std::fflush(out) == 0 && ok;
  ok = ::fsync(fileno(out)) == 0 && ok;
  ok = std::fclose(out) == 0 && ok;
  if (!ok || std::rename(tmpPath.c_str(), logPath.c_str()) != 0) {
    std::remove(tmpPath.c_str());
    return;
  }
  countLinesLocked();
}

}  // namespace lark
