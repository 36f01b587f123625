// The service's language texts from language.ini: level words, [Common]
// words, the label sections and the operation-log texts. A LanguageTexts is
// a plain value; the store in language_texts_store.h publishes it as an
// immutable snapshot so readers on other threads never see a freed text.
//
// Missing or empty keys follow three rules: [Warn-Level] falls back to the
// English word, [Common] keeps the previous language's text, and the label
// sections ([Component], [General], [Power-Module], [Summary],
// [System-Message]) become empty, so an empty system message silences its
// event-log line.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/profile.h"

namespace lark {

inline constexpr size_t kLevelNameMax = 15;             // bytes kept of a [Warn-Level] word
inline constexpr size_t kLanguageTextMax = 127;         // bytes kept of any other language key
inline constexpr int kCommonTextCount = 30;             // [Common] T_1..T_30
inline constexpr int kComponentTextCount = 65;          // [Component] CP_1..CP_65
inline constexpr int kAccessModeTextCount = 3;          // [General] G_1..G_3
inline constexpr int kUpsTypeTextCount = 7;             // [General] G_4..G_10
inline constexpr int kGeneralTextCount = 23;            // [General] G_11..G_33
inline constexpr int kPowerModuleTextCount = 17;        // [Power-Module] PM_1..PM_17
inline constexpr int kSummaryTextCount = 8;             // [Summary] S_1..S_8
inline constexpr int kSystemMessageCount = 10;          // [System-Message] S_1..S_10
inline constexpr uint32_t kOperatorMessageCount = 117;  // [Operator-Message] M_1..M_117
inline constexpr size_t kOperatorMessageMax = 255;      // bytes read of an M_ key
inline constexpr size_t kOperatorLogTextMax = 255;      // op_log.evt_descr holds 256 with NUL

// The three level words: 0 Serious, 1 Warning, 2 Information.
using LevelNames = std::array<std::string, 3>;
const LevelNames& EnglishLevelNames();

// A level used as an index: anything above 2 (a raw byte from a file or a
// console) shows as Information rather than reading past the table.
inline uint32_t ClampLevel(uint32_t level) { return level > 2 ? 2 : level; }

// The service's own event-log texts, by [System-Message] key number.
enum SystemMessageId : int {
  kMsgStartup = 1,
  kMsgDatabaseFailed = 2,
  kMsgDatabaseConnected = 3,
  kMsgServiceStopping = 5,
  kMsgSnmpSocketFailed = 6,
  kMsgConsoleConnected = 7,     // "%s": the console's address
  kMsgConsoleDisconnected = 8,  // "%s": the console's address
  kMsgHistoryInsertFailed = 9,
  kMsgResultOverflow = 10,
};

struct LanguageTexts {
  LevelNames levelNames = EnglishLevelNames();
  std::array<std::optional<std::string>, kCommonTextCount>
      common;  // none until a language gives one
  std::array<std::string, kComponentTextCount> component;
  std::array<std::string, kAccessModeTextCount> accessMode;
  std::array<std::string, kUpsTypeTextCount> upsType;
  std::array<std::string, kGeneralTextCount> general;
  std::array<std::string, kPowerModuleTextCount> powerModule;
  std::array<std::string, kSummaryTextCount> summary;
  std::array<std::string, kSystemMessageCount> systemMessages;

  const std::string& levelName(uint32_t level) const { return levelNames[ClampLevel(level)]; }
  // Key numbers count from 1 as in the file; out of range or none gives "".
  std::string_view commonText(int n) const;
  std::string_view componentText(int n) const;
  std::string_view systemMessage(int n) const;
};

// Contents before any language file: English level words and the English
// access-mode and UPS-type words; everything else empty.
LanguageTexts InitialLanguageTexts();

// Reads [Common], [Warn-Level] and the label sections over `previous`.
LanguageTexts LoadLanguageTexts(const Profile& lang, const LanguageTexts& previous);

// Puts `arg` in place of the first "%s" of a language text and leaves every
// other character as it stands: a translated text is never a format string.
std::string FormatLanguageText(std::string_view text, std::string_view arg);

// A text of a language or table file: read with generous room, then cut to
// `maxBytes` at a character boundary.
std::string ReadTableText(const Profile& p, std::string_view section, std::string_view key,
                          std::string_view def, size_t maxBytes);

// The operation-log text of a console's record: [Operator-Message]
// M_(code + 1), a blank and the detail for codes below 117, else the detail
// alone; cut to the op_log column at a character boundary.
std::string ComposeOperatorLogText(const Profile& lang, uint32_t code, const char* detail);

// Leading decimal number of a file value: blanks and a sign allowed, stops at
// the first other character, no digits give 0, clamped to the i32 range.
int32_t ParseDecimalClamped(std::string_view s);

// Replaces CR, LF, TAB and NUL with blanks so a text stays on one log line
// and in its own field.
std::string OneLineText(std::string_view s);

}  // namespace lark
