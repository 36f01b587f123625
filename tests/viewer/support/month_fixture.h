// A history folder for viewer tests: a program folder with the English
// language files, and month files written line by line.
#pragma once
#include <string>
#include <vector>

#include "platform/clock.h"
#include "tests/support/temp_dir.h"
#include "viewer/data/viewer_args.h"

namespace lark::test {

class HistoryFolder {
 public:
  HistoryFolder();
  const std::string& path() const { return dir_.path(); }
  // Command-line fields of a device in map "Demo", folder 5.
  std::vector<std::string> Fields(int deviceClass, int commType, int mibType, uint64_t mask) const;
  ViewerArgs Args(int deviceClass, int commType, int mibType, uint64_t mask) const;
  // Writes <root>/Demo/5/<year>/<name> with these exact bytes.
  std::string WriteMonth(int year, const std::string& name, const std::string& bytes) const;

 private:
  TempDir dir_;
};

// March 2024 of a regular UPS (class 0, comm 0): samples every 60 s on day 1
// from 00:00 to 11:59 with parameters 1, 16, 19, 47 and 48 rising; a gap of
// 600 s after 02:00, one of 601 s after 04:00, a link-lost line at 06:00,
// -1 in parameter 16 at 07:00, a first value 0 at 08:00. CRLF lines.
std::string March2024Regular();
// The clock's wall time for it: 1 March 2024, 00:00.
WallTime March2024Day1();
inline constexpr uint64_t kRegularMask =
    (1ull << 1) | (1ull << 16) | (1ull << 19) | (1ull << 47) | (1ull << 48) | 1ull;

}  // namespace lark::test
