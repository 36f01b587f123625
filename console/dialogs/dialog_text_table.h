// The localiser table: for every dialog resource its language.ini section and
// the rows its localiser applies in order (key, the controls the text goes
// to, the English template text). The dialogs' constructors take their
// English texts from the same rows, so template and localiser never drift.
#pragma once
#include <QWidget>
#include <array>
#include <cstdint>
#include <span>
#include <string>

#include "core/language_texts.h"
#include "platform/profile.h"

namespace lark {

enum class TextSource : uint8_t {
  kOwn,     // a key of the dialog's section
  kCommon,  // [Common] T_n from the console's common table, set without an emptiness test
  kTab,     // [Tab] TabN.Title
  kDigits,  // the Dry Contact label: the text, then one digit per control
  kCombo,   // Alarm Management combo entries: kept, set on no control
};

struct LocaliserRow {
  TextSource source;
  const char* key;                     // "Title", "L_3", "T_6", "Tab1.Title", "CB_1"
  std::array<int16_t, 8> ids;          // target controls, up to the first 0; "Title": the caption
  const char* english;                 // the template text (kDigits: before the digit)
  const char* digits = nullptr;        // kDigits: the digit of each control in turn
};

struct LocaliserEntry {
  int resource;
  const char* caption;   // template caption; "" for tab pages
  const char* section;   // "" when the localiser reads only [Common]
  const char* localiser;
  std::span<const LocaliserRow> rows;
  const char* prefixKey;  // the key whose text becomes the title prefix, or null
};

inline constexpr size_t kDialogTextMax = 255;    // a value read by a localiser
inline constexpr size_t kDialogMessageMax = 127; // a MSG value
inline constexpr size_t kDialogCaptionMax = 255; // "<prefix> - <MSG>"
inline constexpr size_t kComboEntryMax = 15;     // CB_1, CB_2
inline constexpr size_t kContactLabelMax = 30;   // the Dry Contact "L_6"

std::span<const LocaliserEntry> LocaliserTable();
// The entry of `resource`, or null.
const LocaliserEntry* FindLocaliser(int resource);
// The template text of control `id` in `resource` (the caption for id 0), or "".
std::string EnglishText(int resource, int id);

struct LocalisedTexts {
  std::string prefix;                   // set only when the prefix key gave a text
  bool prefixSet = false;
  std::array<std::string, 2> combo;     // CB_1, CB_2; empty unless the file gives them
};

// Applies the rows of `resource` to `dialog` from `lang` and the common table.
// Unknown resources change nothing.
LocalisedTexts Localise(QWidget* dialog, int resource, const Profile& lang, const LanguageTexts& common);

}  // namespace lark
