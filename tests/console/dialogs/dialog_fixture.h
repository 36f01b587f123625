// A console context on a temp install folder with a fake clock, a link on a
// fake reactor (its queues take requests; replies are fed as bytes), and the
// dialogs' environment on them. Tests tick a dialog's reply timer themselves.
#pragma once
#include <gtest/gtest.h>

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <functional>
#include <string>

#include "console/dialogs/console_dialogs.h"
#include "console/dialogs/dialog_base.h"
#include "console/link/service_link.h"
#include "console/shell/console_context.h"
#include "console/shell/dialog_texts.h"
#include "platform/paths.h"
#include "platform/profile.h"
#include "tests/support/fake_reactor.h"
#include "tests/support/link_test_client.h"
#include "tests/support/temp_dir.h"

namespace lark::test {

struct DialogFixture {
  DialogFixture() {
    MakeDirs(dir.file("English"));
    WriteFileAtomic(languageFile(), "");
  }
  std::string languageFile() const { return dir.file("English/language.ini"); }
  void setText(const std::string& section, const std::string& key, const std::string& value) {
    WriteProfileString(languageFile(), section, key, value);
  }
  // The head of the request queue handed to the service, then its reply.
  void reply(uint8_t command, std::vector<uint8_t> data) {
    link.queues().markHead(3, kEntryInProgress);
    link.receiveLinkAnswers(LinkFrameOf(kLinkKindReply, command, data));
  }
  // The reply to the request that waits, whatever the queue holds.
  void answerPending(uint8_t command, std::vector<uint8_t> data) {
    link.pending().reply = LinkFrameOf(kLinkKindReply, command, data);
    link.pending().replyFlag = 2;
  }

  TempDir dir;
  FakeClock clock{100000};
  ConsoleContext ctx{dir.path(), clock, WorkArea{0, 0, 1280, 800}};
  FakeReactor reactor;
  LinkShell shell;
  ServiceLink link{reactor, clock, ctx.tree, shell, dir.path(), [] { return 0; }};
  ConsoleDialogs env{ctx, link, nullptr};
};

// Runs `act` on the modal dialog of type D that the next call opens (from
// inside its loop); a dialog `act` leaves open is ended after `guardMs`.
template <class D>
void OnModal(std::function<void(D&)> act, int guardMs = 30000) {
  QTimer::singleShot(0, [act, guardMs] {
    auto* d = dynamic_cast<D*>(QApplication::activeModalWidget());
    if (!d) {
      ADD_FAILURE() << "no modal dialog of the expected type";
      return;
    }
    QTimer::singleShot(guardMs, d, [d] { d->done(0); });
    act(*d);
  });
}

// A screen reader's Toggle action on a check box or radio button.
inline void AccessibleToggle(QWidget* w) {
  QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
  ASSERT_TRUE(a && a->actionInterface());
  a->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
}

// A dialog with OK, Cancel and the progress bar as its template holds them.
class TestDialog : public DialogBase {
 public:
  TestDialog(ConsoleDialogs& env, int resource, std::optional<uint32_t> id) : DialogBase(env, resource, id, nullptr) {
    for (int cid : {1, 2}) {
      auto* b = new QPushButton(this);
      SetControlId(b, cid);
      b->setAccessibleName(cid == 1 ? "OK" : "Cancel");
    }
  }
  std::function<void(TestDialog&)> init;
  int ownTicks = 0;

 protected:
  void Init() override {
    if (init) init(*this);
  }
  void OnOwnTimer() override { ++ownTicks; }

 public:
  using DialogBase::EndNow;
};

}  // namespace lark::test
