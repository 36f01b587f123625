#include "viewer/data/viewer_args.h"

#include <limits>

#include "platform/paths.h"
#include "viewer/data/history_month.h"

namespace lark {

int64_t LeadingDecimal(const std::string& s) {
  size_t i = 0;
  while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
  bool neg = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) neg = s[i++] == '-';
  constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
  int64_t v = 0;
  for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
    const int d = s[i] - '0';
    v = v > (kMax - d) / 10 ? kMax : v * 10 + d;
  }
  return neg ? -v : v;
}

namespace {

int ClampedInt(const std::string& s) {
  const int64_t v = LeadingDecimal(s);
  if (v > std::numeric_limits<int>::max()) return std::numeric_limits<int>::max();
  if (v < std::numeric_limits<int>::min()) return std::numeric_limits<int>::min();
  return static_cast<int>(v);
}

bool AllDigits(const std::string& s, size_t maxLen) {
  if (s.empty() || s.size() > maxLen) return false;
  for (char c : s)
    if (c < '0' || c > '9') return false;
  return true;
}

}  // namespace

ViewerArgsResult ParseViewerArgs(const std::vector<std::string>& f, const char* envPassword) {
  ViewerArgsResult r;
  if (f.size() < kViewerRequiredFields) {
    r.error = "too few fields: " + std::to_string(f.size()) + " of at least " +
              std::to_string(kViewerRequiredFields);
    return r;
  }
  if (f.size() > kViewerMaxFields) {
    r.error = "too many fields: " + std::to_string(f.size()) + " of at most " +
              std::to_string(kViewerMaxFields);
    return r;
  }
  ViewerArgs a;
  a.title = f[0];
  // The sub-path is joined to the root, so only "<map>\<id>" is taken.
  const std::string& sub = f[1];
  const size_t cut = sub.find_first_of("\\/");
  const std::string map = cut == std::string::npos ? "" : sub.substr(0, cut);
  const std::string id = cut == std::string::npos ? "" : sub.substr(cut + 1);
  if (!IsSafeName(map) || !AllDigits(id, 9)) {
    r.error = "the history sub-path must be <map>\\<id>: " + sub;
    return r;
  }
  a.mapName = map;
  a.pathId = ClampedInt(id);
  a.programFolder = ToSlash(f[2]);
  const int depth = ClampedInt(f[3]);
  a.historyDepth = depth < 1 ? 1 : depth > kViewerMaxDepth ? kViewerMaxDepth : depth;
  a.historyRoot = (f[4].empty() || f[4] == "NONE") ? a.programFolder : ToSlash(f[4]);
  const auto low = static_cast<uint32_t>(LeadingDecimal(f[5]));
  const auto high = static_cast<uint32_t>(LeadingDecimal(f[6]));
  a.mask = uint64_t{low} | uint64_t{high} << 32;
  a.deviceClass = ClampedInt(f[7]);
  a.commType = ClampedInt(f[8]);
  a.mibType = ClampedInt(f[9]);
  if (f.size() > 10) a.nodeId = ClampedInt(f[10]);
  if (f.size() > 11) {
    a.fromDatabase = true;
    a.dataSource = f[11];
    if (f.size() > 12) a.account = f[12];
    if (f.size() > 13)
      a.password = f[13];
    else if (envPassword != nullptr)
      a.password = envPassword;
  }
  a.textFile = ViewerLayoutOf(a.deviceClass, a.commType, a.mibType).textName;
  r.args = std::move(a);
  return r;
}

}  // namespace lark
