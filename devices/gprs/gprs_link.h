// The GPRS station link: the TCP listener (9100), up to 1000 station
// connections, the letters they are polled with, and their reports written
// into the GprsLiveData of the GPRS node whose Location matches the station's
// LOC name (letters in any case).
//
// A station is identified with "LMVDR", then polled with "ABIOPT", one letter
// per round; after each status cycle it rests "GPRS Polling" seconds, and it
// is identified again after 60 status letters.
//
// The port is open to anyone on the modems' network: a caller that has not
// named itself (LOC) after one identification cycle of letters is closed;
// one that was asked and gave no name is "nameless", at most
// kGprsNamelessMax of them are kept, and with every place taken the oldest
// nameless one gives its place to the next caller. A caller named by a LOC
// that no GPRS node has counts as nameless too, so made-up names never keep a
// real station out.
//
// Threads: the station records, the sockets and the listener belong to the
// loop thread: socket events, CheckGprsTimeouts and the poll round all run
// there. The GPRS thread only posts the round to the loop every 5 seconds.
// Reports are written into a node's block under the tree lock (shared) and
// the block's lock.
#pragma once
#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <vector>

#include "core/device_tree.h"
#include "core/event_log_sink.h"
#include "core/minute_line_limit.h"
#include "devices/gprs/gprs_frame.h"
#include "platform/clock.h"
#include "platform/event_loop.h"

namespace lark {

inline constexpr int kGprsStationCount = 1000;
inline constexpr uint16_t kGprsDefaultPort = 9100;
inline constexpr uint32_t kGprsRoundMs = 5000;      // poll round; also the send time-out
inline constexpr int kGprsMissedLimit = 3;          // unanswered polls in a row that end a station
inline constexpr int kGprsStatusLettersPerIdent = 60;
inline constexpr int kGprsNamelessMax = 100;
inline constexpr int kGprsNameLinesPerMinute = 20;
inline constexpr const char kGprsIdentLetters[] = "LMVDR";
inline constexpr const char kGprsStatusLetters[] = "ABIOPT";

// Exchange states of a station.
enum GprsExchange : int {
  kGprsIdle = 1,
  kGprsSending = 2,
  kGprsSendIncomplete = 3,
  kGprsWaiting = 4,
  kGprsAnswerIncomplete = 5,
  kGprsAnswerComplete = 6,
};

// One station connection (loop thread only).
struct GprsStation {
  int number = -1;                 // own slot index while connected
  int fd = -1;                     // -1: slot free
  std::string peer;                // "address:port"
  int exchange = kGprsIdle;
  char letter = 0;                 // the poll letter being sent
  bool letterSent = false;
  std::array<char, kGprsMaxFrame> rx{};
  size_t received = 0;             // octets in rx
  uint32_t tick = 0;               // clock tick at the start of the current wait
  uint32_t timeoutMs = 0;          // allowed for the current wait
  std::string name;                // the first LOC; empty until then
  bool otherNameLogged = false;    // a different later LOC was logged
  int letterIndex = 0;             // position in the current letter cycle
  int letterCount = 0;             // status letters since the last identification
  int64_t countdownMs = 0;         // rest before the next poll
  int missed = 0;                  // answers timed out or bad in a row
  uint64_t serial = 0;             // order of acceptance
  int unnamedLetters = 0;          // letters sent while it had no name
  bool nameless = false;           // asked for its name and gave none, or one of no node

  bool connected() const { return fd >= 0; }
};

struct GprsLinkOptions {
  uint16_t port = kGprsDefaultPort;
  uint32_t roundMs = kGprsRoundMs;  // period of the GPRS thread's round
};

class GprsLink {
 public:
  using LogFn = std::function<void(std::string_view)>;

  GprsLink(EventLoop& loop, const Clock& clock, DeviceTree& tree, EventLogSink& events, LogFn log,
           GprsLinkOptions options = {});
  ~GprsLink();
  GprsLink(const GprsLink&) = delete;
  GprsLink& operator=(const GprsLink&) = delete;

  // "GPRS Polling" and "GPRS Timeout" in seconds (loop thread).
  void setTimes(int32_t pollingSeconds, int32_t timeoutSeconds);
  // Opens the listener; false when the port cannot be bound (retried by the check).
  bool OpenGprsListener();
  // The one-second check: re-opens a closed listener, resumes a paused one,
  // ends sends and waits past their time-out.
  void CheckGprsTimeouts();
  // One poll round: a letter to each connected, idle, rested station.
  void PollRound();
  // Starts the GPRS thread, which posts PollRound to the loop every round.
  void startThread();
  // Stops and joins the thread, closes every station and the listener.
  void stop();

  // Diagnostics and tests (loop thread).
  bool listening() const { return listenFd_ >= 0; }
  bool listenerPaused() const { return listenerPaused_; }
  uint16_t boundPort() const { return boundPort_; }
  int connectedCount() const;
  const GprsStation& station(int slot) const { return stations_[static_cast<size_t>(slot)]; }
  // Complete frames taken in so far.
  uint64_t framesReceived() const { return framesReceived_; }
  // The slot of the connected station named `name` (any case), -1 when none.
  int stationNamed(std::string_view name) const;

 private:
  void closeListener();
  void pauseListener();
  void resumeListener();
  void onListener(uint32_t events, int error);
  void acceptPending();
  void onStation(int slot, int fd, uint32_t events, int error);
  void receive(GprsStation& st);
  bool send(GprsStation& st);
  void closeStation(GprsStation& st, bool markLost);
  // An answer timed out or came bad: the third in a row ends the station.
  void missedAnswer(GprsStation& st);
  // Puts the next poll letter into the record; false when none is due.
  bool nextLetter(GprsStation& st);
  void handleReport(GprsStation& st, std::string_view report);
  bool adoptName(GprsStation& st, std::string_view name);
  // The station was asked for its name and gave none: kept within the cap,
  // and a caller waiting for a place may take the oldest such one's.
  void markNameless(GprsStation& st);
  GprsStation* oldestNameless();
  // The first GPRS node whose Location equals `name` ignoring case. Caller
  // holds the tree lock.
  DeviceNode* findNode(std::string_view name);
  // One walk of the tree into nodeIndex_; logs once per Location that
  // several GPRS nodes share.
  void rebuildNodeIndex();
  void markLinkLost(const std::string& name);
  // A line for the service's log; an event-log line that also goes there.
  void note(std::string text) const;
  void eventLine(uint32_t level, std::string text);
  // A warning any caller can cause by the name it claims: at most
  // kGprsNameLinesPerMinute a minute, the rest counted in one line.
  void nameLine(std::string text);
  void rollNameLines(uint32_t now);

  EventLoop& loop_;
  const Clock& clock_;
  DeviceTree& tree_;
  EventLogSink& events_;
  LogFn log_;
  GprsLinkOptions options_;
  uint32_t answerTimeoutMs_ = 10000;  // "GPRS Timeout" x 1000, loop thread
  int64_t restMs_ = 5000;             // "GPRS Polling" x 1000, loop thread

  std::vector<GprsStation> stations_;  // kGprsStationCount records, loop thread
  int listenFd_ = -1;                  // loop thread
  bool listenerPaused_ = false;        // unwatched: all slots taken or out of descriptors
  uint16_t boundPort_ = 0;
  uint64_t framesReceived_ = 0;  // loop thread
  uint64_t acceptSerial_ = 0;    // loop thread
  MinuteLineLimit nameLines_{kGprsNameLinesPerMinute};  // loop thread
  MinuteLineLimit unmatchedLines_{1};                   // names of no GPRS node; loop thread
  bool fullLogged_ = false;      // "all places taken" said since places were last free
  std::set<std::string> sharedLocationsLogged_;  // upper-cased names, loop thread
  std::unordered_map<std::string, DeviceNode*> nodeIndex_;  // upper-cased Location -> node
  uint64_t indexGeneration_ = ~uint64_t{0};  // tree generation nodeIndex_ was built at
  uint32_t lastMissWalkTick_ = 0;            // clock tick of the last walk for a missing name

  std::shared_ptr<GprsLink*> self_;  // posted rounds hold it weakly: none runs after the link
  std::thread thread_;
  std::mutex threadMu_;
  std::condition_variable threadCv_;
  bool threadStop_ = false;  // guarded by threadMu_
};

// Raises the soft open-file limit to the hard one, so a full station table
// and the console links fit. Returns the soft limit now in force.
uint64_t RaiseOpenFileLimit();

}  // namespace lark
