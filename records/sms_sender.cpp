#include "records/sms_sender.h"

#include <chrono>
#include <cstdio>

#include "common/sms_dialogue.h"
#include "common/sms_pdu.h"
#include "platform/paths.h"

namespace lark {

namespace {

const ContactorRecord* FindContact(const SmsSettings& s, const std::string& name) {
  for (const ContactorRecord& c : s.contactors) {
    if (c.name == name) return &c;
  }
  return nullptr;
}

std::vector<std::string> PhoneNumbers(const SmsPhoneList& list) {
  std::vector<std::string> out;
  for (const std::string& p : list.phones) {
    if (!p.empty()) out.push_back(p);
  }
  return out;
}

}  // namespace

SmsSettings SmsSettingsFrom(const ServiceSettings& s) {
  SmsSettings out;
  out.language = s.language;
  out.port = s.gsmPort;
  out.baud = static_cast<uint32_t>(s.gsmBaud);
  out.portPaths = s.serialPortPaths;
  out.contactors = s.contactors;
  out.phones = s.smsList;
  return out;
}

std::unique_ptr<ModemPort> OpenTermiosModem(const std::string& path, uint32_t baud,
                                            std::string* error) {
  return TermiosModemPort::open(path, baud, error);
}

SmsSender::SmsSender(OutgoingMessages& outgoing, EventLogSink& log, const Clock& clock,
                     std::string installDir, std::string linkDir, ModemOpenFn open)
    : outgoing_(outgoing),
      log_(log),
      clock_(clock),
      logPath_(JoinPath(installDir, "SMS_Log.txt")),
      open_(std::move(open)),
      resolver_({}, std::move(linkDir)) {}

SmsSender::~SmsSender() { stop(); }

void SmsSender::setSettings(SmsSettings settings) { settings_ = std::move(settings); }

void SmsSender::setLog(std::string path, bool append) {
  logPath_ = std::move(path);
  logAppend_ = append;
}

bool SmsSender::busy() const {
  std::lock_guard<std::mutex> g(jobMu_);
  return job_.has_value() || working_;
}

void SmsSender::stop() {
  {
    std::lock_guard<std::mutex> g(jobMu_);
    stop_.store(true);
  }
  jobCv_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void SmsSender::SendSmsMessages(int channel) {
  if (stop_.load()) return;
  if (channel == 0) {
    reportStep();
  } else {
    slotStep();
  }
}

bool SmsSender::runStep(int& step, const std::string& number, const std::string& text) {
  // A message given up half-way (its slot released) may leave the worker
  // busy: the next one starts when it is done.
  if (step == 0 && busy()) return false;
  ++step;
  if (step == 1 && !number.empty()) {
    if (!IsValidSmsNumber(number)) {
      log_.WriteEventLog(0, kLevelWarning, kSystemEventCode,
                         "SMS not sent: \"" + CleanSmsText(number) + "\" is no phone number");
      return false;
    }
    Job job{settings_.port,     settings_.baud, settings_.portPaths, number, text,
            settings_.language != "English" || NeedsPduMode(text), nextRef_++};
    {
      std::lock_guard<std::mutex> g(jobMu_);
      job_ = std::move(job);
      result_.reset();
    }
    if (!thread_.joinable()) thread_ = std::thread([this] { work(); });
    jobCv_.notify_all();
    return false;
  }
  if (step < kSmsSteps) return false;
  std::optional<std::string> result;
  {
    std::lock_guard<std::mutex> g(jobMu_);
    if (job_.has_value() || working_) {
      step = kSmsSteps - 1;  // the modem is still at it: step 6 again next time
      return false;
    }
    result.swap(result_);
  }
  if (result.has_value() && !result->empty()) {
    log_.WriteEventLog(0, kLevelWarning, kSystemEventCode,
                       "SMS to " + number + " not sent: " + *result);
  }
  step = 0;
  return true;
}

void SmsSender::slotStep() {
  if (cursor_ >= kOutgoingSlotCount) return;
  const size_t i = static_cast<size_t>(cursor_);
  std::string number, text, phone2;
  bool act = outgoing_.withLock([&](OutgoingState& st) {
    OutgoingMessageSlot& slot = st.slots[i];
    if (slot.name.empty() || slot.smsRow < 0) {
      slotStep_[i] = 0;
      slotPhone_[i] = 0;
      return false;
    }
    const ContactorRecord* c = FindContact(settings_, slot.name);
    if (c == nullptr) {
      ReleaseSlot(slot);
      return false;
    }
    if (c->phone1.empty() && c->phone2.empty()) {
      // Nobody to text: what waits can never go either.
      slot.smsWaiting.clear();
      NextSlotSms(slot);
      slotStep_[i] = 0;
      return false;
    }
    number = slotPhone_[i] == 0 ? c->phone1 : c->phone2;
    phone2 = c->phone2;
    text = slot.smsText;
    return true;
  });
  if (!act) {
    ++cursor_;
    return;
  }
  if (!runStep(slotStep_[i], number, text)) return;
  if (++slotPhone_[i] == 1 && !phone2.empty()) return;  // Phone2 on the next pass
  slotPhone_[i] = 0;
  outgoing_.withLock([&](OutgoingState& st) { NextSlotSms(st.slots[i]); });
  ++cursor_;
}

void SmsSender::reportStep() {
  if (cursor_ != kOutgoingSlotCount) return;
  const std::vector<std::string> phones = PhoneNumbers(settings_.phones);
  std::string text;
  bool act = outgoing_.withLock([&](OutgoingState& st) {
    if (st.reportSmsRow < 0) {
      reportStep_ = 0;
      return false;
    }
    if (phones.empty()) {
      st.reportSmsWaiting.clear();
      NextReportSms(st);
      return false;
    }
    text = st.reportSmsText;
    return true;
  });
  if (!act) {
    cursor_ = 0;
    return;
  }
  if (static_cast<size_t>(reportPhone_) >= phones.size()) reportPhone_ = 0;  // the list shrank
  if (!runStep(reportStep_, phones[static_cast<size_t>(reportPhone_)], text)) return;
  if (static_cast<size_t>(++reportPhone_) < phones.size()) return;
  reportPhone_ = 0;
  outgoing_.withLock([](OutgoingState& st) { NextReportSms(st); });
  cursor_ = 0;
}

void SmsSender::work() {
  for (;;) {
    Job job;
    {
      std::unique_lock<std::mutex> g(jobMu_);
      jobCv_.wait(g, [this] { return stop_.load() || job_.has_value(); });
      if (stop_.load()) return;
      job = std::move(*job_);
      job_.reset();
      working_ = true;
    }
    std::string why = sendWithTries(job);
    std::lock_guard<std::mutex> g(jobMu_);
    result_ = std::move(why);
    working_ = false;
  }
}

std::string SmsSender::sendWithTries(const Job& job) {
  int com = ComNumberOf(job.port);
  if (com == 0) return "the GSM modem port \"" + CleanSmsText(job.port) + "\" is no COM port";
  resolver_.overrides = job.portPaths;
  const std::string path = resolver_.resolve(com);
  std::string why;
  for (int t = 0; t < kSmsTries && !stop_.load(); ++t) {
    if (t > 0) {
      std::unique_lock<std::mutex> g(jobMu_);
      jobCv_.wait_for(g, std::chrono::seconds(1), [this] { return stop_.load(); });
    }
    why = sendOnce(job, path);
    if (why.empty()) return why;
  }
  return why.empty() ? "stopped" : why;
}

std::string SmsSender::sendOnce(const Job& job, const std::string& path) {
  SmsLogFile log;
  log.open(logPath_, logAppend_);
  std::string error;
  std::unique_ptr<ModemPort> port = open_(path, job.baud, &error);
  if (!port) {
    log.write("Open SMS COM " + job.port + " failed.\n");
    return "cannot open " + job.port + ": " + error;
  }
  WallTime now = clock_.now();
  char stamp[64];
  std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02d %02d:%02d:%02d\n", now.year, now.month,
                now.day, now.hour, now.minute, now.second);
  log.write(std::string(stamp) + "Open SMS " + job.port + " OK.\n");
  TracedModemPort traced(*port, log);
  std::string why;
  if (!ProbeModem(traced, stop_)) {
    log.write("Cannot find a GSM modem for SMS.\n");
    why = "no GSM modem answers on " + job.port;
  } else {
    why = SendSmsDialogue(traced, SmsRequest{job.number, job.text, job.pduMode, job.ref}, stop_,
                          clock_);
  }
  log.write("Close SMS COM Port.\n");
  return why;
}

}  // namespace lark
