// The configuration file dialogs on a scripted service (the link's queue
// and replies fed as bytes): the download chain by file size, a map name
// that would leave Monitor/, a folder that cannot be written, time-outs, and
// the map names Save and New refuse before sending.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <sys/stat.h>

#include "console/dialogs/session/config_download.h"
#include "console/dialogs/reply_timer.h"
#include "console/dialogs/session/umf_dialogs.h"
#include "linkserver/link_transfer.h"
#include "tests/console/dialogs/dialog_fixture.h"
#include "tests/support/mountns.h"

namespace lark {
namespace {

struct Fixture : test::DialogFixture {
  Fixture() {
    RegisterConfigDownload(env);
    RegisterUmfDialogs(env);
    link.session().currentMap = "Demo.UMF";
  }
  // The dialog's request at the head of the queue (operation records before
  // it dropped); nullopt when none is out.
  std::optional<LinkQueueEntry> request() {
    while (auto head = link.queues().peek(3)) {
      if (head->requestId == link.pending().sequence && head->requestId != 0) return head;
      link.queues().dropHead(3);
    }
    return std::nullopt;
  }
  // Answers the dialog's request with `code`, the echoed sub-command and `data`.
  void answer(DialogBase& d, uint8_t code, const std::string& data = {}) {
    std::vector<uint8_t> payload = {code, 0};
    payload.insert(payload.end(), data.begin(), data.end());
    reply(request()->command, payload);
    OnReplyTimer(d);
  }
  // Serves every chunk request from the two files until none is out.
  void serve(DialogBase& d, const std::string& settings, const std::string& map) {
    for (int guard = 0; guard < 100; ++guard) {
      const std::optional<LinkQueueEntry> r = request();
      if (!r) return;
      const std::optional<FileChunkHeader> h = ParseChunkHeader(LinkFrameView(r->data), 6);
      ASSERT_TRUE(h);
      const std::string& file = r->command == kLinkCmdDownloadSettings ? settings : map;
      answer(d, 2 * r->command - 1, h->offset < file.size() ? file.substr(h->offset, h->length) : "");
    }
  }
  std::string monitor(const std::string& name) { return dir.file("Monitor/" + name); }
  // The session's steps up to `last`: the map list is in at (4,0), running at (7,0).
  void sessionTo(LinkState last) {
    for (auto [s, sub] : {std::pair<int, int>{1, 0}, {2, 0}, {2, 1}, {2, 2}, {3, 0}, {3, 2}, {4, 0}, {4, 2}, {6, 0},
                          {6, 2}, {7, 0}}) {
      ASSERT_TRUE(link.requestState(uint8_t(s), uint8_t(sub)));
      if (link.state() == last) return;
    }
  }
};

std::string Bytes(size_t n) {
  std::string s(n, 'x');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>('a' + i % 26);
  return s;
}

TEST(AutoLoadConfig, DownloadsBothFilesWholeWhateverTheirSize) {
  for (size_t settings : {size_t{0}, size_t{32767}, size_t{32768}, size_t{40000}}) {
    SCOPED_TRACE(settings);
    Fixture f;
    const std::string ini = Bytes(settings), map = Bytes(70000);
    AutoLoadConfigDialog d(f.env, nullptr);
    d.Init();
    EXPECT_FALSE(d.Control(1)->isEnabled());
    f.serve(d, ini, map);
    EXPECT_EQ(d.result(), 1);
    EXPECT_EQ(ReadFile(f.monitor("manager.ini")).value_or("missing"), ini);
    EXPECT_EQ(ReadFile(f.monitor("Demo.UMF")).value_or("missing"), map);
    EXPECT_FALSE(FileExists(f.monitor("Demo.UMF.part")));
  }
}

TEST(AutoLoadConfig, EachDownloadReloadsTheNotificationTables) {
  struct Case {
    std::string ini;
    std::string contact, item, email, host, phone;
    int16_t firstId;
  };
  const Case cases[] = {
      {"[Contactor1]\nName=Ann\n[Item1]\nName=Ann\nID.Index1=7\n[e-mail]\nAddress1=ann@a.test\n"
       "[Broadcast]\nHost1=10.0.0.1\n[SMS]\nPhone1=111\n",
       "Ann", "Ann", "ann@a.test", "10.0.0.1", "111", 7},
      {"[Contactor1]\nName=Bob\n[Item1]\nName=Bob\nID.Index1=9\n[e-mail]\nAddress1=bob@b.test\n"
       "[Broadcast]\nHost1=10.0.0.2\n[SMS]\nPhone1=222\n",
       "Bob", "Bob", "bob@b.test", "10.0.0.2", "222", 9},
      {"[Main]\n", "", "", "", "", "", -1},  // the sections gone: the tables emptied
  };
  Fixture f;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.contact);
    AutoLoadConfigDialog d(f.env, nullptr);
    d.Init();
    f.serve(d, c.ini, "map");
    ASSERT_EQ(d.result(), 1);
    const ServiceSettings& s = f.ctx.settings.service;
    EXPECT_EQ(s.contactors[0].name, c.contact);
    EXPECT_EQ(s.recipients[0].name, c.item);
    EXPECT_EQ(s.recipients[0].nodeIds[0], c.firstId);
    EXPECT_EQ(s.emailList.addresses[0], c.email);
    EXPECT_EQ(s.broadcastList.hosts[0], c.host);
    EXPECT_EQ(s.smsList.phones[0], c.phone);
    EXPECT_EQ(s.smsList.count, c.phone.empty() ? 0 : 1);
  }
}

TEST(AutoLoadConfig, FailuresParkTheLinkGiveTheButtonsBackAndKeepTheOldCopies) {
  struct Case {
    const char* name;
    std::string mapName;
    bool readOnly;
    bool silent;
    const char* caption;
  };
  const Case cases[] = {
      {"map name leaves Monitor/", "../x.UMF", false, false, "Auto-Load Configuration - map failed"},
      {"folder cannot be written", "Demo.UMF", true, false, "Auto-Load Configuration - settings failed"},
      {"no answer", "Demo.UMF", false, true, "Auto-Load Configuration - settings failed"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Fixture f;
    f.setText("Dialog-AutoLoadConfig", "MSG2", "settings failed");
    f.setText("Dialog-AutoLoadConfig", "MSG4", "map failed");
    f.link.session().currentMap = c.mapName;
    MakeDirs(f.dir.file("Monitor"));
    WriteFileAtomic(f.monitor("manager.ini"), "old");
    if (c.readOnly) {
      if (!test::EnterPrivateMounts() || !test::MakeReadOnly(f.dir.file("Monitor")))
        GTEST_SKIP() << "no private mounts";
    }
    f.sessionTo({4, 0});
    AutoLoadConfigDialog d(f.env, nullptr);
    d.Init();
    if (c.silent) {
      f.clock.advance(10001);
      OnReplyTimer(d);
    } else {
      f.serve(d, "new settings", "map");
    }
    EXPECT_EQ(d.windowTitle().toStdString(), c.caption);
    EXPECT_TRUE(d.Control(1)->isEnabled() && d.Control(2)->isEnabled());
    EXPECT_FALSE(d.waiting());
    EXPECT_EQ(f.link.state(), (LinkState{4, 3}));
    EXPECT_FALSE(FileExists(f.dir.file("x.UMF")));
    if (c.readOnly) {
      EXPECT_EQ(ReadFile(f.monitor("manager.ini")).value(), "old");
      test::Unmount(f.dir.file("Monitor"));
    }
  }
}

// A map that never ends, and Esc while a piece waits: the chain stops, the
// link parks at (4,3), no piece file is left and the old copy stays.
TEST(AutoLoadConfig, AnEndlessMapOrEscapeStopsTheChainWithoutAPieceFile) {
  for (bool escape : {false, true}) {
    SCOPED_TRACE(escape ? "escape" : "endless");
    Fixture f;
    f.setText("Dialog-AutoLoadConfig", "MSG4", "map failed");
    MakeDirs(f.dir.file("Monitor"));
    WriteFileAtomic(f.monitor("Demo.UMF"), "old map");
    f.sessionTo({4, 0});
    AutoLoadConfigDialog d(f.env, nullptr);
    int ended = -1;
    QObject::connect(&d, &QDialog::finished, [&ended](int r) { ended = r; });
    d.Init();
    f.answer(d, 7, "[Main]");  // manager.ini in one piece
    uint64_t pieces = 0;
    for (; pieces <= kDownloadMaxBytes / kDownloadChunkSize + 4; ++pieces) {
      const std::optional<LinkQueueEntry> r = f.request();
      if (!r) break;
      if (escape && pieces == 2) {
        static_cast<QDialog&>(d).reject();
        break;
      }
      f.answer(d, 9, std::string(kDownloadChunkSize, 'm'));
    }
    if (escape) {
      EXPECT_EQ(ended, 0);
      EXPECT_FALSE(d.waiting());
    } else {
      EXPECT_EQ(pieces, kDownloadMaxBytes / kDownloadChunkSize + 1)
          << "the piece past the bound fails";
      EXPECT_EQ(d.windowTitle().toStdString(), "Auto-Load Configuration - map failed");
    }
    EXPECT_EQ(f.link.state(), (LinkState{4, 3}));
    EXPECT_FALSE(FileExists(f.monitor("Demo.UMF.part")));
    EXPECT_EQ(ReadFile(f.monitor("Demo.UMF")).value_or(""), "old map");
  }
}

TEST(OpenUmf, AnUnansweredMapListLeavesTheRunningSessionAlone) {
  Fixture f;
  f.sessionTo({7, 0});
  OpenUmfDialog d(f.env, nullptr);
  d.Init();
  f.clock.advance(5001);
  OnReplyTimer(d);
  EXPECT_EQ(f.link.state(), (LinkState{7, 0}));
  EXPECT_FALSE(d.Control(1)->isEnabled());
  EXPECT_TRUE(d.Control(2)->isEnabled());
}

TEST(MapNames, RefusedNamesSendNothing) {
  Fixture f;
  f.setText("Dialog-SaveUMF", "MSG1", "save failed");
  f.setText("Dialog-NewUMF", "MSG2", "new failed");
  f.ctx.commands.saveAs = true;
  SaveUmfDialog save(f.env, nullptr);
  save.Init();
  save.edit()->setText("../x");
  save.Ok();
  EXPECT_EQ(save.windowTitle().toStdString(), "Save - save failed");
  NewUmfDialog fresh(f.env, nullptr);
  fresh.Init();
  fresh.edit()->setText(QString(252, 'n'));
  fresh.Ok();
  EXPECT_EQ(fresh.windowTitle().toStdString(), "New UMF - new failed");
  EXPECT_FALSE(f.request());
}

TEST(NewUmf, AStaleCopyOfTheNewNameIsGone) {
  Fixture f;
  MakeDirs(f.dir.file("Monitor"));
  WriteFileAtomic(f.monitor("Fresh.UMF"), "stale");
  NewUmfDialog d(f.env, nullptr);
  d.Init();
  d.edit()->setText("Fresh");
  d.Ok();
  const std::optional<LinkQueueEntry> r = f.request();
  ASSERT_TRUE(r);
  EXPECT_EQ(r->command, kLinkCmdNewMap);
  f.answer(d, 17);
  EXPECT_EQ(d.result(), 1);
  EXPECT_EQ(f.link.session().currentMap, "Fresh.UMF");
  EXPECT_FALSE(FileExists(f.monitor("Fresh.UMF")));
}

}  // namespace
}  // namespace lark
