#include "core/language_texts.h"

#include <climits>
#include <cstdio>

#include "common/bytes.h"

namespace lark {

namespace {

std::string Key(const char* prefix, int n) { return std::string(prefix) + std::to_string(n); }

template <size_t N>
void ReadLabels(const Profile& p, std::string_view section, const char* prefix, int first,
                std::array<std::string, N>& out) {
  for (size_t i = 0; i < N; ++i)
    out[i] =
        ReadTableText(p, section, Key(prefix, first + static_cast<int>(i)), "", kLanguageTextMax);
}

template <size_t N>
std::string_view At(const std::array<std::string, N>& a, int n) {
  if (n < 1 || static_cast<size_t>(n) > N) return {};
  return a[static_cast<size_t>(n - 1)];
}

}  // namespace

const LevelNames& EnglishLevelNames() {
  static const LevelNames names = {"Serious", "Warning", "Information"};
  return names;
}

std::string_view LanguageTexts::commonText(int n) const {
  if (n < 1 || n > kCommonTextCount) return {};
  const auto& e = common[static_cast<size_t>(n - 1)];
  return e ? std::string_view(*e) : std::string_view();
}

std::string_view LanguageTexts::componentText(int n) const { return At(component, n); }
std::string_view LanguageTexts::systemMessage(int n) const { return At(systemMessages, n); }

LanguageTexts InitialLanguageTexts() {
  LanguageTexts t;
  t.accessMode = {"Unknown", "Read Only", "Read/Write"};
  // "Off Line," and "Splite Phase" are the words consoles have always shown.
  t.upsType = {"On Line", "Off Line,", "Line Interactive", "3Phase On Line", "Splite Phase",
               "Others",  "HVDC"};
  return t;
}

LanguageTexts LoadLanguageTexts(const Profile& lang, const LanguageTexts& previous) {
  LanguageTexts t = previous;
  for (int n = 1; n <= kCommonTextCount; ++n) {
    std::string v = ReadTableText(lang, "Common", Key("T_", n), "", kLanguageTextMax);
    if (!v.empty()) t.common[static_cast<size_t>(n - 1)] = std::move(v);
  }
  const LevelNames& english = EnglishLevelNames();
  for (size_t i = 0; i < 3; ++i) {
    std::string v = ReadTableText(lang, "Warn-Level", english[i], english[i], kLevelNameMax);
    t.levelNames[i] = v.empty() ? english[i] : v;
  }
  ReadLabels(lang, "Component", "CP_", 1, t.component);
  ReadLabels(lang, "General", "G_", 1, t.accessMode);
  ReadLabels(lang, "General", "G_", 4, t.upsType);
  ReadLabels(lang, "General", "G_", 11, t.general);
  ReadLabels(lang, "Power-Module", "PM_", 1, t.powerModule);
  ReadLabels(lang, "Summary", "S_", 1, t.summary);
  ReadLabels(lang, "System-Message", "S_", 1, t.systemMessages);
  return t;
}

std::string FormatLanguageText(std::string_view text, std::string_view arg) {
  size_t at = text.find("%s");
  if (at == std::string_view::npos) return std::string(text);
  std::string out;
  out.reserve(text.size() + arg.size());
  out.append(text.substr(0, at));
  out.append(arg);
  out.append(text.substr(at + 2));
  return out;
}

std::string ComposeOperatorLogText(const Profile& lang, uint32_t code, const char* detail) {
  std::string text;
  if (code < kOperatorMessageCount) {
    text = ReadTableText(lang, "Operator-Message", Key("M_", static_cast<int>(code) + 1), "",
                         kOperatorMessageMax);
    text += ' ';
    if (detail != nullptr) text += detail;
  } else if (detail != nullptr) {
    text = detail;
  }
  return std::string(CutUtf8(text, kOperatorLogTextMax));
}

int32_t ParseDecimalClamped(std::string_view s) {
  size_t i = 0;
  while (i < s.size() && (s[i] == ' ' || (s[i] >= '\t' && s[i] <= '\r'))) ++i;
  bool neg = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) neg = s[i++] == '-';
  int64_t v = 0;
  for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
    v = v * 10 + (s[i] - '0');
    if (v > static_cast<int64_t>(INT32_MAX) + 1) v = static_cast<int64_t>(INT32_MAX) + 1;
  }
  if (neg) v = -v;
  if (v > INT32_MAX) return INT32_MAX;
  if (v < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(v);
}

std::string OneLineText(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c == '\r' || c == '\n' || c == '\t' || c == '\0') c = ' ';
  return out;
}

std::string ReadTableText(const Profile& p, std::string_view section, std::string_view key,
                          std::string_view def, size_t maxBytes) {
  // Generous read room; the value is then cut at a character boundary.
  constexpr size_t kReadRoom = 4096;
  return std::string(CutUtf8(p.getString(section, key, def, kReadRoom), maxBytes));
}

}  // namespace lark
