// The viewer's command line: one argv field per value, in this order:
//   title, <map>\<id>, program folder, depth (months), history root,
//   mask low 32 bits, mask high 32 bits, class, comm type, MIB type,
//   [node id, [data source, [account, [password]]]]
// The password may come from LARK_DB_PASSWORD instead, so it is not shown to
// every local user in the process list.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace lark {

struct ViewerArgs {
  std::string title;
  std::string mapName;  // the sub-path's map folder (a safe name)
  int pathId = 0;       // the sub-path's node folder
  std::string programFolder;
  int historyDepth = 1;  // months, 1..100
  std::string historyRoot;
  uint64_t mask = 0;  // bit n: history parameter n has values
  int deviceClass = 0;
  int commType = 0;
  int mibType = 0;
  int nodeId = 0;
  bool fromDatabase = false;
  std::string dataSource;  // empty: the service's own SQLite file
  std::string account;
  std::string password;
  bool textFile = false;  // comma-separated ".DAT.txt" month files
};

inline constexpr int kViewerRequiredFields = 10;
inline constexpr int kViewerMaxFields = 14;
inline constexpr int kViewerMaxDepth = 100;

struct ViewerArgsResult {
  std::optional<ViewerArgs> args;
  std::string error;  // why the line was refused
};

// `fields` are argv[1..]; `envPassword` is LARK_DB_PASSWORD (null when unset).
ViewerArgsResult ParseViewerArgs(const std::vector<std::string>& fields, const char* envPassword);

// The leading decimal number of `s` (blanks, sign, digits; none gives 0),
// saturated at the 64-bit range.
int64_t LeadingDecimal(const std::string& s);

}  // namespace lark
