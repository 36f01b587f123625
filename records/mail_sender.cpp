#include "records/mail_sender.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <memory>


namespace lark {

namespace {

constexpr uint32_t kConnectTimeoutMs = 20000;

const ContactorRecord* FindContact(const MailSettings& s, const std::string& name) {
  for (const ContactorRecord& c : s.contactors) {
    if (c.name == name) return &c;
  }
  return nullptr;
}

}  // namespace

MailSettings MailSettingsFrom(const ServiceSettings& s) {
  return MailSettings{s.smtpServer, s.smtpSender, s.smtpPassword, s.contactors, s.emailList};
}

uint16_t SmtpPortFromEnvironment() {
  const char* env = std::getenv("LARK_SMTP_PORT");
  if (env == nullptr || *env == '\0') return 25;
  char* end = nullptr;
  long v = std::strtol(env, &end, 10);
  return (*end == '\0' && v > 0 && v < 65536) ? static_cast<uint16_t>(v) : 25;
}

MailSender::MailSender(OutgoingMessages& outgoing, EventLogSink& log, const Clock& clock,
                       MailTiming timing)
    : outgoing_(outgoing), log_(log), clock_(clock), timing_(timing) {}

MailSender::~MailSender() { stop(); }

void MailSender::setSettings(MailSettings settings) {
  std::lock_guard<std::mutex> g(mu_);
  settings_ = std::move(settings);
}

void MailSender::start() {
  if (thread_.joinable()) return;
  stop_.store(false);
  thread_ = std::thread([this] { run(); });
}

void MailSender::stop() {
  {
    std::lock_guard<std::mutex> g(mu_);
    stop_.store(true);
  }
  cv_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void MailSender::run() {
  uint32_t wait = timing_.firstWaitMs;
  for (;;) {
    {
      std::unique_lock<std::mutex> g(mu_);
      cv_.wait_for(g, std::chrono::milliseconds(wait), [this] { return stop_.load(); });
      if (stop_.load()) return;
    }
    sendPass();
    wait = timing_.cycleMs;
  }
}

void MailSender::note(std::string_view text) {
  log_.WriteEventLog(0, kLevelWarning, kSystemEventCode, text);
}

bool MailSender::due(int channel) const {
  const Retry& r = retry_[static_cast<size_t>(channel)];
  return r.delayMs == 0 || TickElapsed(clock_.tickMs(), r.dueTick) < 0x80000000u;
}

void MailSender::failed(int channel) {
  Retry& r = retry_[static_cast<size_t>(channel)];
  r.delayMs = r.delayMs == 0 ? timing_.retryFirstMs : std::min(r.delayMs * 2, timing_.retryMaxMs);
  r.dueTick = clock_.tickMs() + r.delayMs;
}

void MailSender::sendPass() {
  MailSettings s;
  {
    std::lock_guard<std::mutex> g(mu_);
    s = settings_;
  }
  sendReport(s);
  for (int i = 0; i < kOutgoingSlotCount && !stop_.load(); ++i) sendSlot(s, i);
}

bool MailSender::deliver(const MailSettings& s, MailMessage mail) {
  mail.sender = s.sender;
  mail.password = s.password;
  const uint32_t start = clock_.tickMs();
  std::string error;
  auto transport =
      TcpSmtpTransport::connect(s.server, timing_.port, kConnectTimeoutMs, stop_, &error);
  if (!transport) {
    note("Mail not sent: " + error);
    return false;
  }
  SmtpOutcome out = RunSmtpConversation(*transport, mail, clock_, start, stop_,
                                        [this](std::string_view t) { note(t); });
  if (!out.sent) note("Mail not sent: " + out.detail);
  return out.sent;
}

void MailSender::sendReport(const MailSettings& s) {
  if (!due(kReportChannel)) return;
  MailMessage mail;
  for (const std::string& a : s.emailList.addresses) {
    if (!a.empty()) mail.recipients.push_back(a);
  }
  bool go = outgoing_.withLock([&](OutgoingState& st) {
    if (!st.reportPending || mail.recipients.empty()) return false;
    mail.subject = st.reportSubject;
    mail.body = std::move(st.reportBody);
    st.reportBody.clear();
    st.reportPending = false;
    return true;
  });
  if (!go) return;
  if (deliver(s, mail)) {
    retry_[kReportChannel] = Retry{};
    return;
  }
  failed(kReportChannel);
  outgoing_.withLock([&](OutgoingState& st) {
    AppendMailText(mail.body, st.reportBody);
    st.reportBody = std::move(mail.body);
    st.reportPending = true;
  });
}

void MailSender::sendSlot(const MailSettings& s, int index) {
  if (!due(index)) return;
  MailMessage mail;
  std::string owner;
  bool unsafe = false;
  bool go = outgoing_.withLock([&](OutgoingState& st) {
    OutgoingMessageSlot& slot = st.slots[static_cast<size_t>(index)];
    if (slot.name.empty() || !slot.emailPending) return false;
    const ContactorRecord* c = FindContact(s, slot.name);
    if (c == nullptr) {
      ReleaseSlot(slot);
      return false;
    }
    owner = slot.name;
    for (const std::string* a : {&c->email1, &c->email2}) {
      if (a->empty()) continue;
      if (IsSafeMailAddress(*a)) {
        mail.recipients.push_back(*a);
      } else {
        unsafe = true;
      }
    }
    if (mail.recipients.empty()) {
      // Nobody to mail: the text cannot go anywhere.
      slot.body.clear();
      slot.emailPending = false;
      return false;
    }
    mail.subject = slot.subject;
    mail.body = std::move(slot.body);
    slot.body.clear();
    slot.emailPending = false;
    return true;
  });
  if (unsafe) note("Mail: an e-mail address of " + owner + " was refused as unsafe");
  if (!go) return;
  if (deliver(s, mail)) {
    retry_[static_cast<size_t>(index)] = Retry{};
    return;
  }
  failed(index);
  bool kept = outgoing_.withLock([&](OutgoingState& st) {
    OutgoingMessageSlot& slot = st.slots[static_cast<size_t>(index)];
    if (slot.name != owner) return false;
    AppendMailText(mail.body, slot.body);
    slot.body = std::move(mail.body);
    slot.emailPending = true;
    return true;
  });
  if (!kept) {
    retry_[static_cast<size_t>(index)] = Retry{};
    note("Mail for " + owner + " dropped: its recipient item is gone");
  }
}

}  // namespace lark
