#include "console/dialogs/accounts/account_list.h"

#include <algorithm>
#include <cstdlib>

namespace lark {

namespace {

std::vector<std::string_view> Split(std::string_view text, char sep) {
  std::vector<std::string_view> out;
  size_t from = 0;
  while (true) {
    const size_t at = text.find(sep, from);
    out.push_back(text.substr(from, at == std::string_view::npos ? std::string_view::npos : at - from));
    if (at == std::string_view::npos) return out;
    from = at + 1;
  }
}

std::string Trimmed(std::string_view s) {
  while (!s.empty() && (s.back() == ' ' || s.back() == '\r')) s.remove_suffix(1);
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  return std::string(s);
}

}  // namespace

std::vector<AccountListRow> ParseAccountList(std::string_view text, size_t* beyond) {
  std::vector<AccountListRow> rows;
  if (beyond) *beyond = 0;
  // Line by line, with no list of the lines: the text may hold millions.
  for (size_t from = 0; from <= text.size();) {
    const size_t lineEnd = std::min(text.find('\n', from), text.size());
    const std::string_view line = text.substr(from, lineEnd - from);
    from = lineEnd + 1;
    if (Trimmed(line).empty()) continue;
    if (rows.size() >= kAccountRowsMax) {
      if (beyond) ++*beyond;
      continue;
    }
    const std::vector<std::string_view> f = Split(line, '\t');
    auto field = [&f](size_t i) { return i < f.size() ? Trimmed(f[i]) : std::string(); };
    AccountListRow r{field(0), field(1), field(3), field(4), field(5)};
    char* end = nullptr;
    const long level = std::strtol(r.level.c_str(), &end, 10);
    const bool whole = !r.level.empty() && end == r.level.c_str() + r.level.size();
    r.levelNumber = whole && level >= 0 && level <= 255 ? static_cast<int>(level) : 0;
    rows.push_back(std::move(r));
  }
  return rows;
}

std::string AccountListText(const AccountListRow& row, const std::string& operatorName,
                            const std::string& viewerName) {
  const std::string type = row.levelNumber == kLevelOperator ? operatorName
                           : row.levelNumber == kLevelViewer ? viewerName
                                                             : std::string();
  return row.account + "\t" + row.realName + "\t********\t" + type + "\t" + row.created + "\t" + row.remark;
}

}  // namespace lark
