// An Event.log on disk is outside bytes (copied in, edited, or left by an
// older version): counting and trimming must cope with any content.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/event_log.h"
#include "platform/clock.h"
#include "platform/paths.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace lark;
  static const std::string dir = [] {
    char tmpl[] = "/tmp/lark-fuzz-eventlog-XXXXXX";
    const char* d = mkdtemp(tmpl);
    return std::string(d ? d : "/tmp");
  }();
  const std::string log = dir + "/Map/Event.log";
  MakeDirs(dir + "/Map");
  FILE* f = std::fopen(log.c_str(), "wb");
  if (f == nullptr) return 0;
  std::fwrite(data, 1, size, f);
  std::fclose(f);

  FakeClock clock;
  EventLog events(clock, {});
  events.setPath(dir, "Map");
  const int32_t before = events.lineCount();
  if (before < 0) abort();
  events.changeMaxLines(10 + (size % 7));
  events.WriteEventLog(1, size % 5, 2, "x");
  auto text = ReadFile(log);
  // Whatever came in, what is left after a trim is whole CRLF lines.
  if (text && events.lineCount() <= 17 && !text->empty() &&
      text->compare(text->size() - 2, 2, "\r\n") != 0)
    abort();
  return 0;
}
