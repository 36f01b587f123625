// The history recorder's text files and the present snapshot.
//
// Text lines end with CR LF. A crash in the middle of an append leaves a last
// line without its line end; the next append cuts it off first, then writes
// its line with a single write, so no line ever holds parts of two samples.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

#include "common/bytes.h"
#include "platform/clock.h"

namespace lark {

// Appends `line` and CR LF to the file, creating it and its missing folders.
// When the file is empty (new, or cut back to nothing) `firstLine` (when not
// empty) is written first, as a line of its own. False when the folders or
// the file cannot be made or written; nothing else happens then.
bool AppendHistoryLine(const std::string& path, std::string_view line,
                       std::string_view firstLine = {});

// Month files kept open from one line to the next (a period writes one line
// to each, the next period the next): at most `limit` of them, the first
// ones opened; lines to others open and close their file as
// AppendHistoryLine does. A kept file whose size is not what the last line
// left (cut, grown or removed by someone else) is opened again by name, so
// a line never goes to a file no longer there.
//
// Threads: the history thread's own.
class OpenHistoryFiles {
 public:
  explicit OpenHistoryFiles(size_t limit) : limit_(limit) {}
  ~OpenHistoryFiles();
  OpenHistoryFiles(const OpenHistoryFiles&) = delete;
  OpenHistoryFiles& operator=(const OpenHistoryFiles&) = delete;

  // AppendHistoryLine through the kept files.
  bool append(const std::string& path, std::string_view line, std::string_view firstLine = {});
  void closeAll();
  // A lower bound takes effect as files close.
  void setLimit(size_t limit) { limit_ = limit; }
  size_t openCount() const { return files_.size(); }

 private:
  struct File {
    int fd;
    long long end;  // bytes; the size our last line left
  };
  size_t limit_;
  std::unordered_map<std::string, File> files_;
};

// Opens the file for reading and writing, creating it and, when they are
// missing, its folders; -1 when that fails (a link on the way below the
// history folder refuses it).
int OpenCreatingFolders(const std::string& path);

// Cuts a file open on `fd` of `size` bytes back after its last '\n'; returns
// the new size, or -1 on a failed read or truncate.
long long CutTornLine(int fd, long long size);

// PresentSnapshotRecord, 12 bytes, written to "present.dat" in the install folder:
//   0 u8 day  1 u8 hour  2 u8 minute  3 u8 second  4 i32 A0  8 i32 S1
inline constexpr size_t kPresentSnapshotSize = 12;
namespace present_off {
inline constexpr size_t kDay = 0, kHour = 1, kMinute = 2, kSecond = 3;
inline constexpr size_t kSensorAverage = 4;  // root group's A0
inline constexpr size_t kInverterSum = 8;    // root group's S1
}  // namespace present_off

std::array<uint8_t, kPresentSnapshotSize> EncodePresentSnapshot(const WallTime& now,
                                                                int32_t sensorAverage,
                                                                int32_t inverterSum);
// The day-change hook: deletes present.dat; only when there was none to
// delete, writes one record.
void ResetPresentSnapshot(const std::string& installDir, const WallTime& now, int32_t sensorAverage,
                          int32_t inverterSum);

}  // namespace lark
