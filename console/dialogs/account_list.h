// The account list of the Access Management dialog as the service sends it
// (12/13 and its pieces): rows separated by "\n", fields by "\t", in the
// order account, real name, password, level, create date, remark. Missing
// fields read as empty; the password is never kept.
#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace lark {

inline constexpr int kLevelSupervisor = 1, kLevelOperator = 2, kLevelViewer = 3;

struct AccountListRow {
  std::string account, realName, level, created, remark;
  int levelNumber = 0;  // 0 when the level is no number in 0..255
};
std::vector<AccountListRow> ParseAccountList(std::string_view text);
// The list text of a row: the password hidden, the level by its type name
// (operator, viewer), empty for any other level.
std::string AccountListText(const AccountListRow& row, const std::string& operatorName,
                            const std::string& viewerName);

}  // namespace lark
