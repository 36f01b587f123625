// The map picture dialogs against the built Larkcore on the demo folder, in
// its own network namespace, the console linked to 127.0.0.2 so the service
// counts as another computer: Background sets the root's picture and its
// file lands byte-equal in the service's Images; three blanks remove it with
// nothing sent; Sync Images copies what the service lists and the console
// lacks; a list naming paths outside Images or files the service cannot read
// leaves nothing behind; on the service's own computer nothing moves; a
// stopped service ends the sync at its time-out.
#include <QLineEdit>
#include <filesystem>

#include "console/dialogs/map_edit/background_dialog.h"
#include "console/dialogs/map_edit/sync_images_dialog.h"
#include "tests/console/support/larkcore_console.h"

namespace lark {
namespace {

using test::Spin;

std::string Picture(size_t n, char seed) {
  std::string s(n, 0);
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>(seed + i * 13 + i / 256);
  return s;
}

// The result a dialog closes with once its pause ends.
int EndResult(DialogBase& d) {
  static_cast<QDialog&>(d).reject();
  return d.result();
}

class PictureDialogsLarkcore : public test::LarkcoreConsole {
 protected:
  PictureDialogsLarkcore() { privateShm = true; }
  // The cases change the service's folder, then start.
  void SetUp() override { ASSERT_NO_FATAL_FAILURE(Prepare()); }
  // The service, then a console linked to it at `at`.
  void start(const char* at = "127.0.0.2") {
    server = at;
    ASSERT_NO_FATAL_FAILURE(StartService());
    ASSERT_NO_FATAL_FAILURE(StartConsole());
  }
  void ConsoleFiles() override {
    MakeDirs(console.file("English"));
    const std::string lang = console.file("English/language.ini");
    WriteFileAtomic(lang, "");
    for (const char* key : {"MSG1", "MSG2", "MSG3", "MSG4"}) {
      WriteProfileString(lang, "Dialog-Background", key, key);
      WriteProfileString(lang, "Dialog-SyncImages", key, key);
    }
  }
  void Install() override {
    RegisterBackgroundDialog(*env);
    RegisterSyncImagesDialog(*env);
  }
  // Background on the root with `typed`; true once it ends or pauses to end.
  bool background(BackgroundDialog& d, const std::string& typed) {
    d.Init();
    static_cast<QLineEdit*>(d.Control(1002))->setText(QString::fromStdString(typed));
    d.Ok();
    return Spin([&] { return d.closing() || d.result() != 0; }, 20000);
  }

  test::TempDir elsewhere;
};

TEST_F(PictureDialogsLarkcore, BackgroundUploadsThePictureAndBlanksRemoveIt) {
  ASSERT_NO_FATAL_FAILURE(start());
  ASSERT_FALSE(link->link().sharedMemoryMode());
  const std::string picture = Picture(32768, 'a');
  WriteFileAtomic(elsewhere.file("floor.bmp"), picture);
  {
    BackgroundDialog d(*env, nullptr);
    ASSERT_TRUE(background(d, elsewhere.file("floor.bmp"))) << d.windowTitle().toStdString();
    EXPECT_EQ(d.windowTitle().toStdString(), "Background - MSG4");
    EXPECT_EQ(EndResult(d), 1);
  }
  EXPECT_EQ(ReadFile(service.file("Images/floor.bmp")).value_or("missing"), picture);
  EXPECT_EQ(ctx->tree.root().picture(), elsewhere.file("floor.bmp"));
  {
    BackgroundDialog d(*env, nullptr);
    ASSERT_TRUE(background(d, "   "));
    EXPECT_FALSE(d.closing());  // nothing to upload: ended at once
    EXPECT_EQ(d.result(), 1);
  }
  EXPECT_EQ(ctx->tree.root().picture(), "");
}

TEST_F(PictureDialogsLarkcore, SyncCopiesTheListedPicturesTheConsoleLacks) {
  const std::string big = Picture(70000, 'b'), small = Picture(5, 's');
  MakeDirs(service.file("Images"));
  WriteFileAtomic(service.file("Images/big.gif"), big);
  WriteFileAtomic(service.file("Images/small.bmp"), small);
  WriteFileAtomic(service.file("Images/mine.jpg"), "service's");
  MakeDirs(console.file("Images"));
  WriteFileAtomic(console.file("Images/mine.jpg"), "console's");
  ASSERT_NO_FATAL_FAILURE(start());
  SyncImagesDialog d(*env, nullptr);
  d.Init();
  ASSERT_TRUE(Spin([&] { return d.closing(); }, 20000)) << d.windowTitle().toStdString();
  EXPECT_EQ(d.windowTitle().toStdString(), "Sync Images - MSG3");
  EXPECT_EQ(EndResult(d), 1);
  EXPECT_EQ(ReadFile(console.file("Images/big.gif")).value_or("missing"), big);
  EXPECT_EQ(ReadFile(console.file("Images/small.bmp")).value_or("missing"), small);
  EXPECT_EQ(ReadFile(console.file("Images/mine.jpg")).value(), "console's");
}

TEST_F(PictureDialogsLarkcore, AListOutsideImagesOrOfUnreadableFilesWritesNothing) {
  // Without an Images folder (the demo ships one) the service keeps the list as written.
  std::filesystem::remove_all(service.file("Images"));
  ASSERT_TRUE(WriteProfileString(service.file("manager.ini"), "Images", "List",
                                 "../escaped.bmp;..\\escaped.bmp;gone.bmp;"));
  ASSERT_NO_FATAL_FAILURE(start());
  SyncImagesDialog d(*env, nullptr);
  d.Init();
  ASSERT_TRUE(Spin([&] { return d.closing(); }, 20000)) << d.windowTitle().toStdString();
  EXPECT_EQ(d.missing(), std::vector<std::string>{"gone.bmp"});
  EXPECT_EQ(d.windowTitle().toStdString(), "Sync Images - MSG2");
  EXPECT_EQ(EndResult(d), 0);
  EXPECT_FALSE(FileExists(console.file("escaped.bmp")));
  EXPECT_FALSE(FileExists(console.file("Images/gone.bmp")));
  EXPECT_FALSE(FileExists(console.file("Images/gone.bmp.part")));
}

TEST_F(PictureDialogsLarkcore, OnTheServicesOwnComputerNothingIsCopiedOrSent) {
  MakeDirs(service.file("Images"));
  WriteFileAtomic(service.file("Images/theirs.bmp"), "picture");
  ASSERT_NO_FATAL_FAILURE(start("127.0.0.1"));
  ASSERT_TRUE(link->link().sharedMemoryMode());
  {
    SyncImagesDialog d(*env, nullptr);
    EXPECT_EQ(d.Run(), 1);
  }
  EXPECT_FALSE(FileExists(console.file("Images/theirs.bmp")));
  WriteFileAtomic(elsewhere.file("floor.bmp"), "picture");
  BackgroundDialog d(*env, nullptr);
  ASSERT_TRUE(background(d, elsewhere.file("floor.bmp")));
  EXPECT_FALSE(d.closing());  // ended on the picture's reply, no upload
  EXPECT_EQ(d.result(), 1);
  EXPECT_FALSE(FileExists(service.file("Images/floor.bmp")));
}

TEST_F(PictureDialogsLarkcore, AStoppedServiceEndsTheSyncAtItsTimeOut) {
  ASSERT_NO_FATAL_FAILURE(start());
  ASSERT_EQ(kill(larkcore->pid(), SIGSTOP), 0);
  SyncImagesDialog d(*env, nullptr);
  d.Init();
  clock.advance(10001);
  ASSERT_TRUE(Spin([&] { return d.closing(); }, 5000));
  EXPECT_EQ(d.windowTitle().toStdString(), "Sync Images - MSG2");
  EXPECT_EQ(d.closingPauseMs(), kFailurePauseMs);
  EXPECT_EQ(EndResult(d), 0);
}

}  // namespace
}  // namespace lark
