// The notification dialogs' tests on the dialog fixture: message boxes
// recorded by their text ("M_n" in the test's language file), the command 20
// block at the head of the request queue, and the service's answer to it.
#pragma once
#include <string>
#include <vector>

#include "console/dialogs/notify/notify_request.h"
#include "linkserver/link_replies.h"
#include "tests/console/dialogs/dialog_fixture.h"

namespace lark::test {

struct NotifyFixture : DialogFixture {
  // MSG1..MSG6 of `section` and the given message boxes read as their keys.
  NotifyFixture(const std::string& section, std::initializer_list<int> boxNumbers) {
    for (int i = 1; i <= 6; ++i)
      setText(section, "MSG" + std::to_string(i), "MSG" + std::to_string(i));
    for (int n : boxNumbers)
      setText("MessageBox", "M_" + std::to_string(n), "M_" + std::to_string(n));
    ctx.messageBox = [this](QWidget*, const std::string&, const std::string& text, unsigned) {
      boxes.push_back(text);
      return 1;
    };
  }
  // Drops the operation records ahead of the command 20 request.
  std::optional<LinkQueueEntry> notifyHead() {
    while (auto head = link.queues().peek(3)) {
      if (head->command == kLinkCmdNotifySettings) return head;
      link.queues().dropHead(3);
    }
    return std::nullopt;
  }
  // The block the request at the head carries; empty for a read.
  std::vector<uint8_t> headBlock() {
    const std::optional<LinkQueueEntry> head = notifyHead();
    if (!head || head->data.size() < 6 + kNotificationBlockSize) return {};
    return std::vector<uint8_t>(head->data.begin() + 6,
                                head->data.begin() + 6 + kNotificationBlockSize);
  }
  // The service's success for `sub`, with `block` after the echoed sub-command.
  void answer(uint8_t sub, const std::vector<uint8_t>& block) {
    std::vector<uint8_t> data{kNotifyDone, sub};
    data.insert(data.end(), block.begin(), block.end());
    notifyHead();
    reply(kLinkCmdNotifySettings, data);
  }
  std::vector<std::string> boxes;
};

}  // namespace lark::test
