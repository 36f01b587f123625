// The current language: texts, status words, parameter titles and the
// alarm-action tables, each published as an immutable snapshot. A language
// change builds new tables and swaps them in whole; a reader keeps the
// shared_ptr it took, so a text it holds is never freed under it.
//
// Threads: load(), replaceActionTable() and applyActionTables() run on the
// loop thread (they are serialised by writeMu_); the accessors may be called
// from any thread.
#pragma once
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/action_tables.h"
#include "core/language_texts.h"
#include "core/param_tables.h"
#include "core/status_texts.h"

namespace lark {

struct LanguageSnapshot {
  std::string languageName;  // as configured ([Main] Language)
  std::string folder;        // the folder found without case; "" when missing
  LanguageTexts texts;
  StatusTexts status;
  ParamTables params;
};

class LanguageTables {
 public:
  // `installDir` holds one folder per language.
  explicit LanguageTables(std::string installDir);

  // Loads language.ini, the twelve action files and the eight parameter
  // files of the named language and swaps them in. Missing keys follow the
  // tables' own rules; the returned list names what was missing (an unsafe
  // or unknown folder name, a missing file), empty when all was found.
  std::vector<std::string> load(std::string_view languageName);

  std::shared_ptr<const LanguageSnapshot> current() const;
  std::shared_ptr<const LevelNames> levelNames() const;  // points into current()
  std::shared_ptr<const ActionTables> actions() const;

  // A console's table write: the rows replace the table in memory, then the
  // family's file of the current folder is written. False when the file
  // could not be written; memory keeps the console's rows either way.
  bool replaceActionTable(ActionFamily f, ActionTable rows);
  // A console's download of its service's tables: the given families' rows
  // replace the current ones in one new snapshot (the others stay); the
  // language folder's files are not written.
  void applyActionTables(std::vector<std::pair<ActionFamily, ActionTable>> tables);

  // The operation log goes to the database only. `ready` says whether
  // database logging is on and connected; `insert` takes the database token
  // and stores the row (dropping it when the token is refused). Both are
  // empty until the database layer sets them, and then nothing is logged.
  using OperatorLogReady = std::function<bool()>;
  using OperatorLogInsert = std::function<void(uint32_t level, std::string_view text)>;
  void setOperatorLogHooks(OperatorLogReady ready, OperatorLogInsert insert);
  // A console's operation record: level, code and an optional detail text.
  void WriteOperatorLog(uint32_t level, uint32_t code, const char* detail) const;

 private:
  std::string languageFile() const;
  void swapInActionTable(ActionFamily f, ActionTable rows);  // under writeMu_

  std::string installDir_;
  std::mutex writeMu_;     // serialises the writers
  mutable std::mutex mu_;  // guards the three pointers and the hooks
  std::shared_ptr<const LanguageSnapshot> snap_;
  std::shared_ptr<const ActionTables> actions_;
  OperatorLogReady opReady_;
  OperatorLogInsert opInsert_;
};

}  // namespace lark
