// Event.log: one line per event in the current map's folder, capped at the
// "Max Event Log" number of lines. Every subsystem writes through
// EventLogSink::WriteEventLog; this is the real writer.
//
// Line: number TAB yyyy/mm/dd TAB hh:mm:ss TAB level word TAB code TAB text CRLF.
// For counting and trimming a line is read in pieces of 259 characters
// including its line end, so a long line counts once per 259 begun; the trim
// still carries every line it keeps whole.
//
// Threads: WriteEventLog may be called from any thread. busy() is the
// EventLogBusy lock: it guards the file, the path, the limit and the count,
// and the report thread takes it while it copies the file. The database hook
// runs before the lock is taken, so the database token is never held inside it.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "core/event_log_sink.h"
#include "core/language_texts.h"
#include "platform/clock.h"

namespace lark {

inline constexpr int32_t kEventLogMinLines = 10;       // a limit below this turns the file off
inline constexpr int32_t kDefaultMaxEventLog = 10000;  // [Main] "Max Event Log"
inline constexpr size_t kEventLogPiece = 259;          // characters per counted piece

// Counted pieces of one line of `length` characters (line end excluded).
inline int64_t EventLogPieces(size_t length, bool hasLineEnd) {
  size_t chars = length + (hasLineEnd ? 1 : 0);
  return static_cast<int64_t>((chars + kEventLogPiece - 1) / kEventLogPiece);
}

// One formatted line with its CRLF; `text` and `levelWord` are taken as they
// are (the caller makes them one-line).
std::string FormatEventLogLine(int32_t number, const WallTime& t, std::string_view levelWord,
                               int32_t code, std::string_view text);

class EventLog final : public EventLogSink {
 public:
  using LevelNamesSource = std::function<std::shared_ptr<const LevelNames>()>;
  // The database row of an event; called first for every non-empty event
  // while set. It decides itself whether database logging is on and drops
  // the row when the database token is taken elsewhere: the file line is
  // written in every case. `when` is the event's time, the file line's too.
  using DatabaseHook = std::function<void(const WallTime& when, int32_t number, uint32_t level,
                                          int32_t code, std::string_view text)>;

  // `levelNames` gives the current level words; empty means English.
  EventLog(const Clock& clock, LevelNamesSource levelNames);

  void setDatabaseHook(DatabaseHook hook);

  // The map folder is historyDir/mapName (an empty name logs into historyDir
  // itself); it is created, one level only, at the first write. The lines of
  // the new file are counted. A map name that is not a plain file name turns
  // the file off.
  void setPath(const std::string& historyDir, const std::string& mapName);
  // The limit as read at start-up; no trim.
  void setMaxLines(int32_t maxLines);
  // A console's new limit: when it differs and the file holds more lines,
  // the oldest go first (count - new + new/4 + 1 pieces), then recount.
  void changeMaxLines(int32_t maxLines);
  // Counts the lines of the current file.
  void countLines();

  void WriteEventLog(int32_t number, uint32_t level, int32_t code, std::string_view text) override;
  // The same, telling whether the line reached the file (an empty text
  // counts as done). A line that could not be written is counted, and the
  // next line that can be written is preceded by "N events could not be
  // written".
  bool writeEvent(int32_t number, uint32_t level, int32_t code, std::string_view text);
  // Where a problem with the file itself is reported (a symbolic link in
  // place of Event.log), once; the file cannot carry it.
  void setProblemLog(std::function<void(std::string_view)> log) { problemLog_ = std::move(log); }

  int32_t lineCount() const;
  int32_t maxLines() const;
  // Event.log of the current map; "" when the file is off for a bad name.
  std::string filePath() const;
  // The file's bytes, read under the lock (for reports and downloads).
  std::optional<std::string> readContents() const;

  // EventLogBusy. Hold it only around work on the file itself.
  std::mutex& busy() const { return busy_; }

 private:
  void countLinesLocked();
  void countAppendedLocked();  // one line more; trims past the limit
  void trimLocked(int64_t dropCount);
  bool ensureFolderLocked();

  const Clock& clock_;
  LevelNamesSource levelNames_;
  mutable std::mutex hookMu_;  // guards dbHook_ only
  DatabaseHook dbHook_;
  mutable std::mutex busy_;
  std::string historyDir_;                            // guarded by busy_
  std::string folder_;                                // map folder; "" = off; guarded by busy_
  int32_t maxLines_ = kDefaultMaxEventLog;            // guarded by busy_
  int32_t lineCount_ = 0;                             // guarded by busy_
  int32_t lost_ = 0;                                  // lines not written since the last one; busy_
  bool linkReported_ = false;                         // guarded by busy_
  std::function<void(std::string_view)> problemLog_;  // set before the first write
};

}  // namespace lark
