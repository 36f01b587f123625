#include "core/language_texts_store.h"

#include "platform/paths.h"

namespace lark {

LanguageTables::LanguageTables(std::string installDir) : installDir_(std::move(installDir)) {
  auto snap = std::make_shared<LanguageSnapshot>();
  snap->texts = InitialLanguageTexts();
  snap->status = DefaultStatusTexts();
  snap_ = std::move(snap);
  actions_ = std::make_shared<const ActionTables>();
}

std::vector<std::string> LanguageTables::load(std::string_view languageName) {
  std::lock_guard<std::mutex> w(writeMu_);
  std::shared_ptr<const LanguageSnapshot> old = current();
  std::shared_ptr<const ActionTables> oldActions = actions();
  std::vector<std::string> missing;

  auto next = std::make_shared<LanguageSnapshot>();
  next->languageName = std::string(languageName);
  // The name comes from manager.ini or a console: it is joined to the
  // install folder only when it is a single plain name.
  if (!IsSafeName(languageName, 255)) {
    missing.push_back("language folder name \"" + std::string(languageName) + "\"");
  } else if (auto dir = FindNoCase(installDir_, languageName); dir && IsDirectory(*dir)) {
    next->folder = *dir;
  } else {
    missing.push_back("language folder " + JoinPath(installDir_, languageName));
  }

  std::optional<std::string> langPath;
  if (!next->folder.empty()) langPath = FindNoCase(next->folder, "language.ini");
  if (!next->folder.empty() && !langPath) missing.push_back("language.ini");
  Profile lang = langPath ? Profile(*langPath) : Profile();

  next->texts = LoadLanguageTexts(lang, old->texts);
  next->status = old->status;
  LocaliseStatusTexts(next->status, lang, next->texts);
  // Every parameter family follows the language, not only the first two.
  next->params =
      LoadParamTables(next->folder, old->params, next->folder.empty() ? nullptr : &missing);
  auto actions = std::make_shared<const ActionTables>(
      LoadActionTables(next->folder, *oldActions, next->texts.levelNames,
                       next->folder.empty() ? nullptr : &missing));

  std::lock_guard<std::mutex> g(mu_);
  snap_ = std::move(next);
  actions_ = std::move(actions);
  return missing;
}

std::shared_ptr<const LanguageSnapshot> LanguageTables::current() const {
  std::lock_guard<std::mutex> g(mu_);
  return snap_;
}

std::shared_ptr<const LevelNames> LanguageTables::levelNames() const {
  std::shared_ptr<const LanguageSnapshot> s = current();
  return std::shared_ptr<const LevelNames>(s, &s->texts.levelNames);
}

std::shared_ptr<const ActionTables> LanguageTables::actions() const {
  std::lock_guard<std::mutex> g(mu_);
  return actions_;
}

void LanguageTables::swapInActionTable(ActionFamily f, ActionTable rows) {
  rows.resize(ActionFamilyOf(f).rows);
  auto next = std::make_shared<ActionTables>(*actions());
  next->table(f) = std::move(rows);
  std::lock_guard<std::mutex> g(mu_);
  actions_ = std::move(next);
}

bool LanguageTables::replaceActionTable(ActionFamily f, ActionTable rows) {
  std::lock_guard<std::mutex> w(writeMu_);
  swapInActionTable(f, std::move(rows));
  std::shared_ptr<const LanguageSnapshot> snap = current();
  return SaveActionTable(snap->folder, f, actions()->table(f), snap->texts.levelNames);
}

void LanguageTables::applyActionTables(std::vector<std::pair<ActionFamily, ActionTable>> tables) {
  std::lock_guard<std::mutex> w(writeMu_);
  auto next = std::make_shared<ActionTables>(*actions());
  for (auto& [f, rows] : tables) {
    rows.resize(ActionFamilyOf(f).rows);
    next->table(f) = std::move(rows);
  }
  std::lock_guard<std::mutex> g(mu_);
  actions_ = std::move(next);
}

void LanguageTables::setOperatorLogHooks(OperatorLogReady ready, OperatorLogInsert insert) {
  std::lock_guard<std::mutex> g(mu_);
  opReady_ = std::move(ready);
  opInsert_ = std::move(insert);
}

std::string LanguageTables::languageFile() const {
  std::shared_ptr<const LanguageSnapshot> s = current();
  if (s->folder.empty()) return {};
  return FindNoCase(s->folder, "language.ini").value_or(std::string());
}

void LanguageTables::WriteOperatorLog(uint32_t level, uint32_t code, const char* detail) const {
  OperatorLogReady ready;
  OperatorLogInsert insert;
  {
    std::lock_guard<std::mutex> g(mu_);
    ready = opReady_;
    insert = opInsert_;
  }
  if (!ready || !insert || !ready()) return;
  // Read on demand: the operator texts are not kept in memory.
  std::string path = languageFile();
  Profile lang = path.empty() ? Profile() : Profile(path);
  insert(level, ComposeOperatorLogText(lang, code, detail));
}

}  // namespace lark
