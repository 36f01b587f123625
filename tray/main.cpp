// Larktray: the tray status program. `Larktray` runs once per login;
// `Larktray restart` runs beside a running copy.
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <QApplication>
#include <QSocketNotifier>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/key_store.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/sound_player.h"
#include "tray/qt_tray_view.h"

namespace {

std::string LockPath() {
  const char* run = std::getenv("XDG_RUNTIME_DIR");
  if (run != nullptr && run[0] == '/') return lark::JoinPath(run, "Larktray.lock");
  return "/tmp/Larktray-" + std::to_string(getuid()) + ".lock";
}

}  // namespace

int main(int argc, char** argv) {
  const bool restart = argc == 2 && std::string(argv[1]) == "restart";
  lark::InstanceLock instance;
  if (!restart) {
    std::string holder;
    if (!instance.acquire(LockPath(), &holder)) {
      if (instance.heldElsewhere()) {
        std::fprintf(stderr, "Larktray: already running (%s)\n", holder.c_str());
        return 0;
      }
      std::fprintf(stderr, "Larktray: %s\n", holder.c_str());
      return 1;
    }
  }

  // SIGTERM and SIGINT take the Exit path: read from a signalfd on the loop.
  sigset_t stops;
  sigemptyset(&stops);
  sigaddset(&stops, SIGTERM);
  sigaddset(&stops, SIGINT);
  sigprocmask(SIG_BLOCK, &stops, nullptr);
  int sigfd = signalfd(-1, &stops, SFD_CLOEXEC | SFD_NONBLOCK);
  if (sigfd < 0) {
    std::perror("Larktray: signalfd");
    return 1;
  }

  QApplication app(argc, argv);
  app.setQuitOnLastWindowClosed(false);

  lark::KeyStore keys(lark::KeyStore::DefaultDir());
  lark::ProcessSoundPlayer player;
  // The view comes first (the model shows itself through it) and reaches
  // the model once it exists.
  lark::TrayModel* model = nullptr;
  lark::QtTrayView view([&](int id) {
    if (model == nullptr || !model->command(id)) return;
    if (id == lark::kTrayCmdExit) app.quit();
  });
  lark::TrayModel tray(keys, player, view, lark::InstallDir(keys));
  model = &tray;
  tray.start();
  if (tray.audioSlot().empty())
    std::fprintf(stderr, "Larktray: no free sound slot; sounds are not played\n");

  QSocketNotifier stopSignals(sigfd, QSocketNotifier::Read);
  QObject::connect(&stopSignals, &QSocketNotifier::activated, [&] {
    signalfd_siginfo info;
    while (read(sigfd, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
    }
    tray.exit();
    app.quit();
  });
  QTimer second, poll;
  QObject::connect(&second, &QTimer::timeout, [&] { tray.onSecondTick(); });
  QObject::connect(&poll, &QTimer::timeout, [&] { tray.onPollTick(); });
  second.start(1000);
  poll.start(5000);
  // The first look for a notification area is at once rather than after a second.
  QTimer::singleShot(0, [&] {
    tray.onSecondTick();
    if (!tray.areaKnown())
      std::fprintf(stderr, "Larktray: no notification area; the icon waits for one\n");
  });
  int code = app.exec();
  close(sigfd);
  return code;
}
