// Language folder files and console action-table payloads are outside bytes:
// the first input byte picks a family, the rest is both a wire payload and
// the text of an INI file read by every table reader.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/action_tables.h"
#include "core/language_texts.h"
#include "core/param_tables.h"
#include "core/status_texts.h"
#include "platform/profile.h"

namespace {

const std::string& ScratchFile() {
  static const std::string path = [] {
    char tmpl[] = "/tmp/lark-fuzz-action-XXXXXX";
    int fd = mkstemp(tmpl);
    if (fd >= 0) close(fd);
    return std::string(tmpl);
  }();
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace lark;
  if (size == 0) return 0;
  const ActionFamily family = static_cast<ActionFamily>(data[0] % kActionFamilyCount);
  CBytes rest(data + 1, size - 1);

  // Pad or cut the input to the family's size so the row parser runs.
  const size_t want = ActionFamilyOf(family).rows * kActionRowSize;
  std::vector<uint8_t> payload(rest.begin(), rest.end());
  payload.resize(want, 0);
  auto table = ActionTableFromWire(family, CBytes(payload));
  if (!table || ActionTableToWire(*table).size() != want) abort();
  for (const ActionRow& r : *table)
    if (r.levelIndex() > 2 || r.title().size() > 64 || r.message().size() > 128) abort();
  (void)ActionTableFromWire(family, rest);

  FILE* f = std::fopen(ScratchFile().c_str(), "wb");
  if (f == nullptr) return 0;
  std::fwrite(rest.data(), 1, rest.size(), f);
  std::fclose(f);
  Profile file(ScratchFile());

  ActionTable read = ReadActionTable(file, family, *table, EnglishLevelNames());
  if (read.size() != ActionFamilyOf(family).rows) abort();
  ParamFamily pf = static_cast<ParamFamily>(data[0] % kParamFamilyCount);
  ParamTable params = ReadParamTable(file, pf, EmptyParamTable(pf));
  if (params.capacity() != ParamFamilyOf(pf).capacity) abort();

  LanguageTexts texts = LoadLanguageTexts(file, InitialLanguageTexts());
  for (const auto& w : texts.levelNames)
    if (w.empty() || w.size() > kLevelNameMax) abort();
  StatusTexts status = DefaultStatusTexts();
  LocaliseStatusTexts(status, file, texts);
  if (status.totalTexts() != kStatusTextTotal) abort();
  if (ComposeOperatorLogText(file, data[0], "detail").size() > kOperatorLogTextMax) abort();
  (void)FormatLanguageText(texts.systemMessage(7), "1.2.3.4");
  (void)ParseDecimalClamped(
      std::string_view(reinterpret_cast<const char*>(rest.data()), rest.size()));
  return 0;
}
