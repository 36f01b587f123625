// The viewer's one context: its command line, the graph's state, the title
// tables, the texts and settings from the program folder, the clock, and the
// calls to the outside a test replaces (message boxes, the Save dialog).
#pragma once
#include <functional>
#include <optional>
#include <string>

#include "core/param_tables.h"
#include "platform/clock.h"
#include "viewer/data/graph_model.h"
#include "viewer/data/history_database.h"
#include "viewer/data/history_month.h"
#include "viewer/data/viewer_args.h"

namespace lark {

// [Historical-Graph] of language.ini; an empty key keeps the English text.
struct HistoricalGraphTexts {
  std::string title = "Historical Parameters";
  std::string uiTitle = "UPS Title:";
  std::string horizontal = "Horizontal Scale:";
  std::string vertical = "Vertical Scale:";
  std::string month = "Month:";
  std::string exportButton = "&Export...";
  std::string updateButton = "&Update";
};

enum class MessageIcon { kWarning, kError };

class ViewerContext {
 public:
  ViewerContext(ViewerArgs args, const Clock& clock);

  // Texts, "XAxisSeg" and the title tables from the program folder.
  void LoadFolderSettings();

  ViewerArgs& args() { return args_; }
  const ViewerArgs& args() const { return args_; }
  GraphViewState& state() { return state_; }
  const ParamTables& titles() const { return titles_; }
  const HistoricalGraphTexts& texts() const { return texts_; }
  const Clock& clock() const { return clock_; }
  int xAxisSeg() const { return xAxisSeg_; }
  std::string languageFolder() const { return languageFolder_; }

  // Logs in to the database the command line names (only when it names one).
  bool ConnectDatabase(std::string* error) { return db_.Connect(args_, error); }

  // The year and month the state selects.
  int selectedYear() const;
  int selectedMonth() const { return state_.monthIndex + 1; }
  // Days `firstDay` to `lastDay` of a month from the month file (always the
  // whole month) or the database; what went wrong is kept in trouble() and
  // told to onTrouble.
  const MonthData& ReadMonth(int year, int month, int firstDay = 1, int lastDay = 31);
  const MonthData& ReadSelectedMonth(int firstDay = 1, int lastDay = 31) {
    return ReadMonth(selectedYear(), selectedMonth(), firstDay, lastDay);
  }
  const std::string& trouble() const { return trouble_; }

  std::function<void(const std::string& text, const std::string& caption, MessageIcon)> messageBox;
  // The Save dialog: the chosen path, none when cancelled.
  std::function<std::optional<std::string>()> chooseExportPath;
  std::function<void(const std::string& trouble)> onTrouble;

 private:
  ViewerArgs args_;
  const Clock& clock_;
  GraphViewState state_;
  ParamTables titles_;
  HistoricalGraphTexts texts_;
  int xAxisSeg_ = kDefaultXAxisSeg;
  std::string languageFolder_;
  HistoryDbSource db_;
  MonthData month_;
  std::string trouble_;
};

}  // namespace lark
