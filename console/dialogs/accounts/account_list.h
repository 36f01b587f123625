// The account list of the Access Management dialog as the service sends it
// (12/13 and its pieces): rows separated by "\n", fields by "\t", in the
// order account, real name, password, level, create date, remark. Missing
// fields read as empty; the password is never kept.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace lark {

inline constexpr int kLevelSupervisor = 1, kLevelOperator = 2, kLevelViewer = 3;

struct AccountListRow {
  std::string account, realName, level, created, remark;
  int levelNumber = 0;  // 0 when the level is no number in 0..255
};
// The rows a list holds at most: a 5 MB answer of short rows must not take
// the console's memory; the rows past it are counted in `beyond`.
inline constexpr size_t kAccountRowsMax = 1000;
std::vector<AccountListRow> ParseAccountList(std::string_view text, size_t* beyond = nullptr);
// The list text of a row: the password hidden, the level by its type name
// (operator, viewer), empty for any other level.
std::string AccountListText(const AccountListRow& row, const std::string& operatorName,
                            const std::string& viewerName);

}  // namespace lark
