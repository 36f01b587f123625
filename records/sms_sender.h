// The SMS sender: channel 1 sends each recipient slot's SMS to its contact's
// Phone1 and Phone2, channel 0 the report SMS to every number of the SMS
// phone list. The one-second tick calls SendSmsMessages(0) and (1) every two
// seconds; each call is one step, six steps a number. Step 1 hands the
// message to the SMS worker, which does all the modem work (open, probe,
// dialogue, up to three tries); step 6 waits for the worker and moves on.
//
// Threads: setSettings, SendSmsMessages and stop on the loop thread; the
// worker owns the modem, the port resolver and the SMS log. They meet only
// in job_/result_ under jobMu_.
#pragma once
#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "common/modem_port.h"
#include "core/event_log_sink.h"
#include "core/settings.h"
#include "platform/clock.h"
#include "platform/serial_line.h"
#include "records/outgoing_messages.h"

namespace lark {

inline constexpr int kSmsSteps = 6;   // calls per number
inline constexpr int kSmsTries = 3;   // dialogues per number before it is given up

struct SmsSettings {
  std::string language = "English";  // "English": text mode; else PDU mode
  std::string port;                  // "COMn"
  uint32_t baud = 9600;
  std::map<int, std::string> portPaths;  // [Serial Ports]
  std::array<ContactorRecord, kListRows> contactors;
  SmsPhoneList phones;
};
SmsSettings SmsSettingsFrom(const ServiceSettings& s);

// Opens the modem at a device path; tests give scripted modems.
using ModemOpenFn =
    std::function<std::unique_ptr<ModemPort>(const std::string& path, uint32_t baud, std::string* error)>;
std::unique_ptr<ModemPort> OpenTermiosModem(const std::string& path, uint32_t baud,
                                            std::string* error);

class SmsSender {
 public:
  // `installDir` holds SMS_Log.txt; `linkDir` the COMn links.
  SmsSender(OutgoingMessages& outgoing, EventLogSink& log, const Clock& clock,
            std::string installDir, std::string linkDir, ModemOpenFn open = OpenTermiosModem);
  ~SmsSender();

  void setSettings(SmsSettings settings);
  // The SMS log: <installDir>/SMS_Log.txt written anew for each message,
  // unless set here (a console appends to its own).
  void setLog(std::string path, bool append);
  // One step of channel 0 (report SMS) or 1 (slots).
  void SendSmsMessages(int channel);
  // Ends the worker (a dialogue under way stops at its next read) and joins it.
  void stop();
  // True while the worker has a message (tests wait on it).
  bool busy() const;

 private:
  struct Job {
    std::string port;
    uint32_t baud;
    std::map<int, std::string> portPaths;
    std::string number;
    std::string text;
    bool pduMode;
    uint8_t ref;  // of a linked message
  };

  void slotStep();
  void reportStep();
  // Step `step` for `number`: true when the number is done (step 6 passed).
  bool runStep(int& step, const std::string& number, const std::string& text);
  void work();
  std::string sendWithTries(const Job& job);
  std::string sendOnce(const Job& job, const std::string& path);

  OutgoingMessages& outgoing_;
  EventLogSink& log_;
  const Clock& clock_;
  std::string logPath_;  // set before the first message
  bool logAppend_ = false;
  ModemOpenFn open_;

  // Loop thread only.
  SmsSettings settings_;
  int cursor_ = 0;  // slot served by channel 1; kOutgoingSlotCount = report's turn
  std::array<int, kOutgoingSlotCount> slotStep_{};
  std::array<int, kOutgoingSlotCount> slotPhone_{};  // 0 Phone1, 1 Phone2
  int reportStep_ = 0;
  int reportPhone_ = 0;  // index among the non-empty phone-list numbers
  uint8_t nextRef_ = 0;

  // Worker thread only.
  ComPortResolver resolver_;

  mutable std::mutex jobMu_;
  std::condition_variable jobCv_;
  std::optional<Job> job_;            // guarded by jobMu_
  bool working_ = false;              // guarded by jobMu_: a job taken and not finished
  std::optional<std::string> result_;  // guarded by jobMu_: "" sent, else why not
  std::atomic<bool> stop_{false};
  std::thread thread_;  // started with the first message
};

}  // namespace lark
