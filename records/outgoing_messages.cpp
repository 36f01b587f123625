#include "records/outgoing_messages.h"

#include "common/bytes.h"

namespace lark {

namespace {

std::string Cut(std::string_view s, size_t fieldBytes) {
  return std::string(CutUtf8(s, fieldBytes - 1));
}

// Every alarm text starts with this line; dropping old texts stops at one.
constexpr std::string_view kEntryStart = "UPS Title: ";

}  // namespace

void ReleaseSlot(OutgoingMessageSlot& slot) {
  slot.name.clear();
  slot.emailPending = false;
  slot.subject.clear();
  slot.body.clear();
  slot.body.shrink_to_fit();
  slot.smsRow = -1;
  slot.smsText.clear();
  slot.smsWaiting.clear();
}

void ClearOutgoingSlots(OutgoingState& state) {
  for (auto& slot : state.slots) ReleaseSlot(slot);
  state.reportSubject.clear();
  state.reportBody.clear();
  state.reportPending = false;
  state.reportSmsRow = -1;
  state.reportSmsText.clear();
  state.reportSmsWaiting.clear();
}

int ClaimSlot(OutgoingState& state, std::string_view itemName) {
  for (int i = 0; i < kOutgoingSlotCount; ++i) {
    auto& slot = state.slots[static_cast<size_t>(i)];
    if (!slot.name.empty()) continue;
    ReleaseSlot(slot);
    slot.name = Cut(itemName, kSlotNameBytes);
    return i;
  }
  return -1;
}

void AppendMailText(std::string& body, std::string_view text) {
  if (text.size() >= kMailBodyCap) {
    // One text alone fills the cap: keep its head.
    body.assign(CutUtf8(text, kMailBodyCap));
    return;
  }
  if (body.size() + text.size() > kMailBodyCap) {
    size_t need = body.size() + text.size() - kMailBodyCap;
    // Drop whole lines up to the first alarm text that starts after `need`
    // bytes, so the body still begins with a complete text.
    size_t cut = body.find(std::string("\n").append(kEntryStart), need > 0 ? need - 1 : 0);
    if (cut == std::string::npos) {
      body.clear();
    } else {
      body.erase(0, cut + 1);
    }
  }
  body.append(text);
}

void AddMailReaction(OutgoingState& state, std::string_view rowTitle, std::string_view text,
                     const SlotFlags& flags, bool reportHasRecipients, const ReactionTags& tags) {
  if (tags.report) state.reportSubject = Cut(rowTitle, kReportSubjectBytes);
  if (tags.report && reportHasRecipients) {
    AppendMailText(state.reportBody, text);
    state.reportPending = true;
  }
  for (int i = 0; i < kOutgoingSlotCount; ++i) {
    if (flags[static_cast<size_t>(i)] != 1) continue;
    auto& slot = state.slots[static_cast<size_t>(i)];
    std::string subject(rowTitle);
    subject.append("(").append(tags.mailFrom).append("/").append(slot.name).append(")");
    slot.subject = Cut(subject, kSlotSubjectBytes);
    AppendMailText(slot.body, text);
    slot.emailPending = true;
  }
}

namespace {

// Puts a text in place, or behind the pending one; true when a waiting text
// had to give way.
bool QueueSms(int32_t& row, std::string& text, std::deque<QueuedSms>& waiting, int32_t newRow,
              std::string newText) {
  if (row == -1) {
    row = newRow;
    text = std::move(newText);
    return false;
  }
  bool dropped = false;
  if (waiting.size() + 1 >= kSmsQueueDepth) {
    waiting.pop_front();
    dropped = true;
  }
  waiting.push_back(QueuedSms{newRow, std::move(newText)});
  return dropped;
}

void NextSms(int32_t& row, std::string& text, std::deque<QueuedSms>& waiting) {
  row = -1;
  text.clear();
  if (waiting.empty()) return;
  row = waiting.front().row;
  text = std::move(waiting.front().text);
  waiting.pop_front();
}

}  // namespace

int AddSmsReaction(OutgoingState& state, int32_t row, std::string_view nodeTitle,
                   std::string_view smsMessage, const SlotFlags& flags, const ReactionTags& tags) {
  if (smsMessage.empty()) return 0;
  int dropped = 0;
  if (tags.report) {
    std::string report("UPS:");
    report.append(nodeTitle).append("\n").append(smsMessage);
    dropped += QueueSms(state.reportSmsRow, state.reportSmsText, state.reportSmsWaiting, row,
                        Cut(report, kReportSmsBytes));
  }
  for (int i = 0; i < kOutgoingSlotCount; ++i) {
    if (flags[static_cast<size_t>(i)] != 1) continue;
    auto& slot = state.slots[static_cast<size_t>(i)];
    std::string text(tags.smsTitle);
    text.append(nodeTitle)
        .append("\n")
        .append(smsMessage)
        .append("(")
        .append(tags.smsFrom)
        .append("/")
        .append(slot.name)
        .append(")");
    dropped += QueueSms(slot.smsRow, slot.smsText, slot.smsWaiting, row, Cut(text, kSlotSmsBytes));
  }
  return dropped;
}

void RebindRecipientSlots(OutgoingState& state, std::span<RecipientItem> items) {
  std::array<bool, kOutgoingSlotCount> kept{};
  for (RecipientItem& item : items) {
    item.outgoingSlot = -1;
    for (size_t i = 0; i < state.slots.size() && !item.name.empty(); ++i) {
      if (!kept[i] && state.slots[i].name == item.name) {
        item.outgoingSlot = static_cast<int32_t>(i);
        kept[i] = true;
        break;
      }
    }
  }
  for (size_t i = 0; i < state.slots.size(); ++i) {
    if (!kept[i]) ReleaseSlot(state.slots[i]);
  }
}

void NextSlotSms(OutgoingMessageSlot& slot) { NextSms(slot.smsRow, slot.smsText, slot.smsWaiting); }

void NextReportSms(OutgoingState& state) {
  NextSms(state.reportSmsRow, state.reportSmsText, state.reportSmsWaiting);
}

}  // namespace lark
