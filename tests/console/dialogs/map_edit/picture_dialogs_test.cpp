// The map picture dialogs on a scripted service (the link's queue and
// replies fed as bytes): the service's picture list as Sync Images reads it,
// the pieces it fetches and where they land, the failures that must leave no
// half picture; the Background request, the refusals before it and the
// upload that follows it.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QProgressBar>
#include <algorithm>

#include "console/dialogs/map_edit/background_dialog.h"
#include "console/dialogs/map_edit/image_list.h"
#include "console/dialogs/map_edit/sync_images_dialog.h"
#include "console/link/request_payloads.h"
#include "linkserver/link_transfer.h"
#include "tests/console/dialogs/dialog_fixture.h"
#include "tests/support/tree_fixtures.h"

namespace lark {
namespace {

struct Fixture : test::DialogFixture {
  Fixture() {
    RegisterSyncImagesDialog(env);
    RegisterBackgroundDialog(env);
    setText("Dialog-SyncImages", "MSG1", "Copying %s (%d)");
    setText("Dialog-SyncImages", "MSG2", "sync failed");
    setText("Dialog-SyncImages", "MSG3", "synced");
    setText("Dialog-Background", "MSG1", "set failed");
    setText("Dialog-Background", "MSG2", "upload failed");
    setText("Dialog-Background", "MSG3", "uploading");
    setText("Dialog-Background", "MSG4", "uploaded");
    setText("Dialog-AddObject", "MSG3", "Held by %s");
    MakeDirs(images());
  }
  std::string images() const { return dir.file("Images"); }
  // The dialog's request (operation records queued before it dropped).
  std::optional<LinkQueueEntry> request() {
    while (auto head = link.queues().peek(3)) {
      if (head->requestId == link.pending().sequence && head->requestId != 0) return head;
      link.queues().dropHead(3);
    }
    return std::nullopt;
  }
  // Answers the request out with `code`, the echoed sub-command when the
  // command has one, then `data`.
  void answer(DialogBase& d, uint8_t code, const std::string& data = {}, bool echoSub = true) {
    const std::optional<LinkQueueEntry> r = request();
    ASSERT_TRUE(r);
    std::vector<uint8_t> payload = {code};
    if (echoSub) payload.push_back(r->data.size() > 5 ? r->data[5] : 0);
    for (char c : data) payload.push_back(static_cast<uint8_t>(c));
    reply(r->command, payload);
    OnReplyTimer(d);
  }
};

// The result a dialog closes with once its pause ends.
int EndResult(DialogBase& d) {
  EXPECT_TRUE(d.closing());
  static_cast<QDialog&>(d).reject();
  return d.result();
}

std::string Picture(size_t n) {
  std::string s(n, 0);
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>(i * 7 + i / 251);
  return s;
}

std::vector<std::string> Listed(const std::string& text) {
  return ParseImageList(CBytes(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
}

TEST(ImageList, KeepsOnlyPlainNamesEachEndedBySemicolon) {
  using V = std::vector<std::string>;
  const struct {
    std::string text;
    V names;
  } cases[] = {
      {"", {}},
      {"a.bmp", {}},  // not ended: cut by the service's buffer
      {"a.bmp;b c.JPG;", {"a.bmp", "b c.JPG"}},
      {";;a.bmp;;", {"a.bmp"}},
      {"a.bmp;a.bmp;", {"a.bmp"}},
      {"../x;..;.;x/y;x\\y;/etc/passwd;C:x.bmp;a.bmp;", {"a.bmp"}},
      {"a\tb;a\x7f"
       "b;ok;",
       {"ok"}},
      {std::string("a.bmp;\0b.bmp;", 13), {"a.bmp"}},
      {std::string(255, 'n') + ";" + std::string(256, 'm') + ";", {std::string(255, 'n')}},
  };
  for (const auto& c : cases) EXPECT_EQ(Listed(c.text), c.names) << c.text;
}

TEST(SyncImages, FetchesOnlyWhatIsMissingPieceByPieceIntoImages) {
  Fixture f;
  WriteFileAtomic(f.dir.file("Images/A.BMP"), "mine");
  const std::string big = Picture(32768), small = Picture(40000);
  SyncImagesDialog d(f.env, nullptr);
  d.Init();
  f.answer(d, 61, "a.bmp;big.gif;small.jpg;");
  EXPECT_EQ(d.missing(), (std::vector<std::string>{"big.gif", "small.jpg"}));
  EXPECT_EQ(d.windowTitle().toStdString(), "Copying big.gif (%d)");
  // Serve every piece asked; check each header as it goes.
  std::vector<std::pair<std::string, uint32_t>> asked;
  while (std::optional<LinkQueueEntry> r = f.request()) {
    const std::optional<FileChunkHeader> h = ParseChunkHeader(LinkFrameView(r->data), 6);
    ASSERT_TRUE(h && r->command == kLinkCmdSyncImages && r->data[5] == 1);
    EXPECT_EQ(h->length, 32768u);
    asked.emplace_back(h->name, h->offset);
    const std::string& file = h->name == "big.gif" ? big : small;
    if (h->name == "small.jpg" && h->offset == 0) {
      EXPECT_EQ(qobject_cast<QProgressBar*>(d.Control(kProgressControl))->value(), 50);
      EXPECT_TRUE(FileExists(f.dir.file("Images/big.gif")));
    }
    f.answer(d, 61, h->offset < file.size() ? file.substr(h->offset, h->length) : "");
    if (d.closing()) break;
  }
  const std::vector<std::pair<std::string, uint32_t>> want = {
      {"big.gif", 0}, {"big.gif", 32768}, {"small.jpg", 0}, {"small.jpg", 32768}};
  EXPECT_EQ(asked, want);
  EXPECT_EQ(d.windowTitle().toStdString(), "Sync Images - synced");
  EXPECT_EQ(EndResult(d), 1);
  EXPECT_EQ(ReadFile(f.dir.file("Images/A.BMP")).value(), "mine");
  EXPECT_EQ(ReadFile(f.dir.file("Images/big.gif")).value(), big);
  EXPECT_EQ(ReadFile(f.dir.file("Images/small.jpg")).value(), small);
  EXPECT_FALSE(FileExists(f.dir.file("Images/small.jpg.part")));
}

TEST(SyncImages, NothingToFetchEndsAtOnceWithZero) {
  for (const char* list : {"", "a.bmp;", "../x;..\\y;"}) {
    SCOPED_TRACE(list);
    Fixture f;
    WriteFileAtomic(f.dir.file("Images/a.bmp"), "mine");
    SyncImagesDialog d(f.env, nullptr);
    d.Init();
    f.answer(d, 61, list);
    EXPECT_FALSE(d.closing());
    EXPECT_EQ(d.result(), 0);
    EXPECT_FALSE(f.request());
    EXPECT_FALSE(FileExists(f.dir.file("x")));
  }
}

TEST(SyncImages, ABrokenTransferLeavesNoHalfPicture) {
  enum class Break { kRefused, kTimeOut, kTooLong, kEndless, kClosed, kEscape };
  for (Break how : {Break::kRefused, Break::kTimeOut, Break::kTooLong, Break::kEndless,
                    Break::kClosed, Break::kEscape}) {
    SCOPED_TRACE(static_cast<int>(how));
    Fixture f;
    {
      SyncImagesDialog d(f.env, nullptr);
      d.Init();
      f.answer(d, 61, "p.bmp;");
      f.answer(d, 61, Picture(32768));
      ASSERT_TRUE(FileExists(f.dir.file("Images/p.bmp.part")));
      switch (how) {
        case Break::kRefused:
          f.answer(d, 62);
          break;
        case Break::kTimeOut:
          f.clock.advance(10001);
          OnReplyTimer(d);
          break;
        case Break::kTooLong:
          f.answer(d, 61, Picture(32769));
          break;
        case Break::kEndless: {
          // Whole pieces for ever: the picture stops at the largest upload the service takes.
          uint64_t pieces = 1;
          for (; !d.closing() && pieces <= kPictureMaxBytes / 32768 + 1; ++pieces)
            f.answer(d, 61, Picture(32768));
          EXPECT_EQ(pieces, kPictureMaxBytes / 32768 + 1);
          break;
        }
        case Break::kClosed:
          break;
        case Break::kEscape:
          // No Cancel button, a piece waits: Esc still ends it at once.
          {
            int ended = -1;
            QObject::connect(&d, &QDialog::finished, [&ended](int r) { ended = r; });
            static_cast<QDialog&>(d).reject();
            EXPECT_EQ(ended, 0);
          }
          EXPECT_FALSE(d.waiting());
          EXPECT_NE(f.link.pending().state, 1);
          break;
      }
      if (how != Break::kClosed && how != Break::kEscape) {
        EXPECT_EQ(d.windowTitle().toStdString(), "Sync Images - sync failed");
        EXPECT_EQ(d.closingPauseMs(), kFailurePauseMs);
        EXPECT_EQ(EndResult(d), 0);
      }
    }
    EXPECT_FALSE(FileExists(f.dir.file("Images/p.bmp.part")));
    EXPECT_FALSE(FileExists(f.dir.file("Images/p.bmp")));
  }
}

TEST(SyncImages, ANameTooLongToStoreIsSkippedAndTheRestFetched) {
  Fixture f;
  SyncImagesDialog d(f.env, nullptr);
  d.Init();
  const std::string longest(kWireNameMax,
                            'n');  // listed, but its ".part" would not fit a file name
  f.answer(d, 61, longest + ";small.jpg;");
  EXPECT_EQ(d.missing(), (std::vector<std::string>{"small.jpg"}));
  f.answer(d, 61, "tiny");
  EXPECT_EQ(d.windowTitle().toStdString(), "Sync Images - synced");
  EXPECT_EQ(EndResult(d), 1);
  EXPECT_EQ(ReadFile(f.dir.file("Images/small.jpg")).value(), "tiny");
}

TEST(SyncImages, APieceThatCannotBeWrittenFailsAndCloses) {
  Fixture f;
  // A folder where the piece file would go: it cannot be made.
  MakeDirs(f.dir.file("Images/p.bmp.part"));
  SyncImagesDialog d(f.env, nullptr);
  d.Init();
  f.answer(d, 61, "p.bmp;");
  f.answer(d, 61, "short");
  EXPECT_EQ(d.windowTitle().toStdString(), "Sync Images - sync failed");
  EXPECT_EQ(EndResult(d), 0);
  EXPECT_FALSE(FileExists(f.dir.file("Images/p.bmp")));
}

TEST(Background, UploadNameIsThePathsLastPartEitherSeparator) {
  const std::pair<const char*, const char*> cases[] = {{"C:\\Lark\\Images\\floor.bmp", "floor.bmp"},
                                                       {"/home/op/pics/floor 2.jpg", "floor 2.jpg"},
                                                       {"floor.gif", "floor.gif"},
                                                       {"/mixed\\dir/a.ico", "a.ico"},
                                                       {"folder/", ""}};
  for (const auto& [path, name] : cases) EXPECT_EQ(UploadName(path), name) << path;
}

// A Background dialog on group 0x0102 of the console's map.
struct BackgroundFixture : Fixture {
  BackgroundFixture() {
    ctx.tree.setNextNodeId(0x0102);
    group = &test::AddGroup(ctx.tree, ctx.tree.root(), "Floor");
    group->setPicture("old.bmp");
    ctx.points.mapCurrentGroup = [this] { return group; };
    ctx.messageBox = [this](QWidget*, const std::string&, const std::string&, unsigned) {
      ++boxes;
      return int(IDOK);
    };
  }
  // OK with `typed` in edit 1002.
  void ok(BackgroundDialog& d, const std::string& typed) {
    static_cast<QLineEdit*>(d.Control(1002))->setText(QString::fromStdString(typed));
    d.Ok();
  }
  DeviceNode* group = nullptr;
  int boxes = 0;
};

TEST(Background, RequestCarriesTheGroupAZeroImageAndThePathWithoutLeadingBlanks) {
  const struct {
    std::string typed;
    std::optional<std::string> sent;  // none: refused before sending
  } cases[] = {
      {" \t\nC:\\pics\\a.bmp ", "C:\\pics\\a.bmp "},
      {"   ", ""},
      {std::string(259, 'p'), std::string(259, 'p')},
      {std::string(260, 'p'), std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.typed);
    BackgroundFixture f;
    BackgroundDialog d(f.env, nullptr);
    d.Init();
    EXPECT_EQ(static_cast<QLineEdit*>(d.Control(1002))->text().toStdString(), "old.bmp");
    f.ok(d, c.typed);
    const std::optional<LinkQueueEntry> r = f.request();
    if (!c.sent) {
      EXPECT_FALSE(r);
      EXPECT_EQ(f.boxes, 1);
      continue;
    }
    ASSERT_TRUE(r);
    const std::vector<uint8_t>& frame = r->data;
    ASSERT_EQ(frame.size(), 7623 + c.sent->size() + 1);
    EXPECT_EQ(frame[4], kLinkCmdSetGroupPicture);
    EXPECT_EQ(frame[5], 0x01);
    EXPECT_EQ(frame[6], 0x02);
    EXPECT_TRUE(
        std::all_of(frame.begin() + 7, frame.begin() + 7623, [](uint8_t b) { return b == 0; }));
    EXPECT_EQ(std::string(frame.begin() + 7623, frame.end()), *c.sent + std::string(1, '\0'));
    EXPECT_FALSE(d.Control(1)->isEnabled());
  }
}

TEST(Background, TheChosenPictureFollowsInPiecesEndedByAShortOne) {
  for (size_t size : {size_t{0}, size_t{100}, size_t{32768}, size_t{70000}}) {
    SCOPED_TRACE(size);
    BackgroundFixture f;
    const std::string picture = Picture(size);
    test::TempDir elsewhere;
    WriteFileAtomic(elsewhere.file("floor plan.bmp"), picture);
    f.ctx.openFileDialog = [&](QWidget*, const std::string& filter, const std::string& folder) {
      EXPECT_EQ(filter, kPictureFilter);
      EXPECT_EQ(folder, f.images());
      return elsewhere.file("floor plan.bmp");
    };
    BackgroundDialog d(f.env, nullptr);
    d.Init();
    d.Browse();
    d.Ok();
    f.answer(d, 29, {}, false);
    EXPECT_EQ(f.group->picture(), elsewhere.file("floor plan.bmp"));
    EXPECT_TRUE(f.ctx.mapDirty);
    EXPECT_EQ(d.windowTitle().toStdString(), "Background - uploading");
    std::string stored;
    std::vector<uint32_t> lengths;
    while (std::optional<LinkQueueEntry> r = f.request()) {
      ASSERT_EQ(r->command, kLinkCmdUploadFile);
      const std::optional<FileChunkHeader> h = ParseChunkHeader(LinkFrameView(r->data), 5);
      ASSERT_TRUE(h);
      EXPECT_EQ(h->name, "floor plan.bmp");
      EXPECT_EQ(h->offset, stored.size());
      EXPECT_EQ(r->data.size(), 269 + h->length);
      lengths.push_back(h->length);
      stored.append(r->data.begin() + 269, r->data.end());
      EXPECT_FALSE(d.Control(1)->isEnabled() || d.Control(2)->isEnabled());
      f.answer(d, 63, {}, false);
      if (d.closing()) break;
    }
    EXPECT_EQ(stored, picture);
    EXPECT_EQ(lengths.size(), size / 32768 + 1);  // a whole last piece is followed by an empty one
    EXPECT_EQ(d.windowTitle().toStdString(), "Background - uploaded");
    EXPECT_EQ(EndResult(d), 1);
  }
}

TEST(Background, RefusalsLeaveTheDialogOpenWithItsButtons) {
  enum class Step { kLockHeld, kPictureRefused, kPieceRefused, kUnreadable };
  for (Step step :
       {Step::kLockHeld, Step::kPictureRefused, Step::kPieceRefused, Step::kUnreadable}) {
    SCOPED_TRACE(static_cast<int>(step));
    BackgroundFixture f;
    WriteFileAtomic(f.dir.file("Images/p.bmp"), Picture(10));
    BackgroundDialog d(f.env, nullptr);
    d.Init();
    f.ok(d, step == Step::kUnreadable ? "/no/such/q.bmp" : "p.bmp");
    std::string caption;
    if (step == Step::kLockHeld || step == Step::kPictureRefused) {
      std::string lock(36, '\0');
      lock[0] = step == Step::kLockHeld ? 1 : 0;
      lock.replace(4, 9, "10.0.0.77");
      f.answer(d, 30, lock, false);
      caption = step == Step::kLockHeld ? "Held by 10.0.0.77" : "Background - set failed";
      EXPECT_EQ(f.group->picture(), "old.bmp");
    } else {
      f.answer(d, 29, {}, false);
      if (step == Step::kPieceRefused) f.answer(d, 64, {}, false);
      caption =
          step == Step::kPieceRefused ? "Background - set failed" : "Background - upload failed";
    }
    EXPECT_EQ(d.windowTitle().toStdString(), caption);
    EXPECT_FALSE(d.closing());
    EXPECT_FALSE(f.request());
    EXPECT_TRUE(d.Control(1)->isEnabled() && d.Control(2)->isEnabled());
  }
}

}  // namespace
}  // namespace lark
