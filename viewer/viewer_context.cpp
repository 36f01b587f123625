#include "viewer/viewer_context.h"

#include "core/language_texts.h"
#include "platform/paths.h"
#include "platform/profile.h"

namespace lark {

namespace {

constexpr size_t kTextMax = 64;

void TakeText(const Profile& ini, const char* key, std::string& into) {
  std::string v = ini.getString("Historical-Graph", key, "", kTextMax);
  if (!v.empty()) into = std::move(v);
}

}  // namespace

ViewerContext::ViewerContext(ViewerArgs args, const Clock& clock)
    : args_(std::move(args)), clock_(clock) {
  state_.monthIndex = clock_.now().month - 1;
  SetDefaultCurves(args_, state_);
}

void ViewerContext::LoadFolderSettings() {
  const std::string& folder = args_.programFolder;
  const auto monitorPath = FindNoCase(folder, "monitor.ini");
  const Profile monitor = monitorPath ? Profile(*monitorPath) : Profile();
  std::string language = monitor.getString("Main", "Language", "English", 260);
  if (!IsSafeName(language)) language = "English";
  languageFolder_ = ResolveNoCase(folder, language);
  const auto languagePath = FindNoCase(languageFolder_, "language.ini");
  const Profile ini = languagePath ? Profile(*languagePath) : Profile();
  TakeText(ini, "Title", texts_.title);
  TakeText(ini, "L_1", texts_.uiTitle);
  TakeText(ini, "L_2", texts_.horizontal);
  TakeText(ini, "L_3", texts_.vertical);
  TakeText(ini, "L_4", texts_.month);
  TakeText(ini, "B_1", texts_.exportButton);
  TakeText(ini, "B_2", texts_.updateButton);
  xAxisSeg_ = XAxisSegFromText(monitor.getString("Larkplot", "XAxisSeg", "10", 32));
  titles_ = LoadViewerTitles(languageFolder_);
}

int ViewerContext::selectedYear() const { return clock_.now().year - state_.yearIndex; }

const MonthData& ViewerContext::ReadMonth(int year, int month, int firstDay, int lastDay) {
  month_ = args_.fromDatabase ? db_.ReadDays(args_, year, month, firstDay, lastDay)
                              : ReadMonthFile(args_, year, month);
  std::string t = DescribeMonthTrouble(month_);
  if (t != trouble_) {
    trouble_ = std::move(t);
    if (onTrouble) onTrouble(trouble_);
  }
  return month_;
}

}  // namespace lark
