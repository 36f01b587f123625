// The mail thread: mails the report text to the e-mail list and each
// recipient slot's text to its contact, one SMTP conversation a mail.
//
// A mail is copied out of its slot under the mail lock and sent without it,
// so alarm reactions never wait for a server. It leaves for good only when
// the server takes it; otherwise it goes back in front of text added
// meanwhile and is tried again after a back-off (doubling, at most 5 min).
//
// Threads: setSettings and stop from the loop thread; everything else on
// the mail thread. The settings are a snapshot swapped under mu_.
#pragma once
#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "common/smtp_client.h"
#include "core/event_log_sink.h"
#include "core/settings.h"
#include "platform/clock.h"
#include "records/outgoing_messages.h"

namespace lark {

// What the mail thread needs of the settings, copied whole.
struct MailSettings {
  std::string server;
  std::string sender;
  std::string password;
  std::array<ContactorRecord, kListRows> contactors;
  EmailList emailList;
};
MailSettings MailSettingsFrom(const ServiceSettings& s);

struct MailTiming {
  uint32_t firstWaitMs = 5000;  // after the start
  uint32_t cycleMs = 3000;      // between passes over the slots
  uint32_t retryFirstMs = 3000;
  uint32_t retryMaxMs = 300000;
  uint16_t port = 25;  // LARK_SMTP_PORT overrides it
};
// The SMTP port: $LARK_SMTP_PORT when it is a port number, else 25.
uint16_t SmtpPortFromEnvironment();

class MailSender {
 public:
  MailSender(OutgoingMessages& outgoing, EventLogSink& log, const Clock& clock, MailTiming timing);
  ~MailSender();

  void setSettings(MailSettings settings);
  void start();
  // Stops the thread, ending a conversation under way, and joins it.
  void stop();

  // One pass over the report mail and the twenty slots (the thread's work;
  // tests call it directly).
  void sendPass();

 private:
  static constexpr int kReportChannel = kOutgoingSlotCount;  // retry entry of the report mail
  struct Retry {
    uint32_t dueTick = 0;
    uint32_t delayMs = 0;  // 0: no failure pending
  };

  void run();
  bool due(int channel) const;
  void failed(int channel);
  void sendReport(const MailSettings& s);
  void sendSlot(const MailSettings& s, int index);
  bool deliver(const MailSettings& s, MailMessage mail);
  void note(std::string_view text);

  OutgoingMessages& outgoing_;
  EventLogSink& log_;
  const Clock& clock_;
  const MailTiming timing_;

  std::mutex mu_;               // guards settings_ and wakes the thread
  std::condition_variable cv_;  // stop wake-up
  MailSettings settings_;       // guarded by mu_
  std::atomic<bool> stop_{false};
  std::thread thread_;
  std::array<Retry, kOutgoingSlotCount + 1> retry_{};  // mail thread only
};

}  // namespace lark
