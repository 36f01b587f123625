// The twenty outgoing message slots and the report mail and report SMS that
// the alarm reactions fill and the mail thread and SMS sender drain.
//
// Threads: everything here is guarded by the mail lock. The loop thread
// (alarm reactions, SMS sender) and the mail thread take it through
// OutgoingMessages::withLock; the free functions below expect it held.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <string_view>
#include <span>
#include <utility>

#include "core/settings.h"

namespace lark {

inline constexpr int kOutgoingSlotCount = 20;
// Field sizes of a slot, terminator included; texts are cut to one byte less
// at a character boundary.
inline constexpr size_t kSlotNameBytes = 36;
inline constexpr size_t kSlotSubjectBytes = 128;
inline constexpr size_t kSlotSmsBytes = 128;
inline constexpr size_t kReportSubjectBytes = 128;
inline constexpr size_t kReportSmsBytes = 128;
// A mail body keeps at most this many bytes. Texts pile up while the mail
// server is unreachable; past the cap the oldest alarm texts give way.
inline constexpr size_t kMailBodyCap = 64 * 1024;

// SMS texts waiting behind the one being sent: at most this many pending in
// all, per slot and for the report; a full queue gives up its oldest waiting one.
inline constexpr size_t kSmsQueueDepth = 8;

struct QueuedSms {
  int32_t row = -1;
  std::string text;
};

struct OutgoingMessageSlot {
  std::string name;           // owning recipient item's Name; empty = free
  bool emailPending = false;  // body holds text not yet mailed
  std::string subject;        // "%s(Service/%s)": action row Title, slot name
  std::string body;           // collected e-mail texts, at most kMailBodyCap bytes
  int32_t smsRow = -1;        // action row of the pending SMS; -1 none
  std::string smsText;        // "UPS=%s\n%s(S/%s)": node Title, SMS.Message, slot name
  std::deque<QueuedSms> smsWaiting;  // behind smsRow/smsText, oldest first
};

// Which slots a reaction goes to: 1 = flagged, -1 = not (as AssignRecipientSlots fills it).
using SlotFlags = std::array<int8_t, kOutgoingSlotCount>;

// Who is speaking in the texts of a reaction: the service ("%s(Service/%s)",
// "UPS=%s\n%s(S/%s)", and the report mail and SMS for the whole lists) or a
// console's own alarms ("%s(Monitor/%s)", "UPS:%s\n%s(M/%s)", no report).
struct ReactionTags {
  std::string_view mailFrom = "Service";
  std::string_view smsFrom = "S";
  std::string_view smsTitle = "UPS=";
  bool report = true;
};
inline constexpr ReactionTags kServiceTags{};
inline constexpr ReactionTags kMonitorTags{"Monitor", "M", "UPS:", false};

struct OutgoingState {
  std::array<OutgoingMessageSlot, kOutgoingSlotCount> slots;
  std::string reportSubject;   // Title of the last row that added report text
  std::string reportBody;      // text for the whole e-mail list
  bool reportPending = false;  // reportBody holds text not yet mailed
  int32_t reportSmsRow = -1;   // action row of the pending report SMS; -1 none
  std::string reportSmsText;   // "UPS:%s\n%s": node Title, SMS.Message
  std::deque<QueuedSms> reportSmsWaiting;  // behind the report SMS, oldest first
};

// Frees every slot and the report texts (start-up).
void ClearOutgoingSlots(OutgoingState& state);
// Gives a slot back: name cleared, body freed, e-mail pending 0, SMS row -1, SMS text cleared.
void ReleaseSlot(OutgoingMessageSlot& slot);
// First free slot, named after `itemName`; -1 when all are taken.
int ClaimSlot(OutgoingState& state, std::string_view itemName);
// Appends to a mail body, dropping the oldest alarm texts when it would pass kMailBodyCap.
void AppendMailText(std::string& body, std::string_view text);

// E-mail part of a reaction: the report subject becomes the row Title; the
// text goes to the report body only when the e-mail list has recipients (a
// body nobody receives would only grow), and to every flagged slot with its
// subject "%s(<mailFrom>/%s)". Without the report channel only the slots.
void AddMailReaction(OutgoingState& state, std::string_view rowTitle, std::string_view text,
                     const SlotFlags& flags, bool reportHasRecipients,
                     const ReactionTags& tags = kServiceTags);
// SMS part of a reaction for action row `row`: the report SMS (with the
// report channel) and every flagged slot's SMS, queued behind one pending.
// Returns how many waiting texts a full queue gave up.
int AddSmsReaction(OutgoingState& state, int32_t row, std::string_view nodeTitle,
                   std::string_view smsMessage, const SlotFlags& flags,
                   const ReactionTags& tags = kServiceTags);
// Gives each named recipient item the slot that already carries its name
// (first come, first served) and every other slot back: after the items
// were replaced, texts queued for a kept name still go out.
void RebindRecipientSlots(OutgoingState& state, std::span<RecipientItem> items);
// The SMS that was being sent is done: the next waiting one takes its place.
void NextSlotSms(OutgoingMessageSlot& slot);
void NextReportSms(OutgoingState& state);

// The state and its mail lock. The mail thread should copy a mail out under
// the lock and talk SMTP without it, so alarm reactions never wait for a
// server.
class OutgoingMessages {
 public:
  template <class Fn>
  decltype(auto) withLock(Fn&& fn) {
    std::lock_guard<std::mutex> g(mu_);
    return std::forward<Fn>(fn)(state_);
  }

 private:
  std::mutex mu_;        // the mail lock
  OutgoingState state_;  // guarded by mu_
};

}  // namespace lark
