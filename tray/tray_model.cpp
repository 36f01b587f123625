#include "tray/tray_model.h"

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>

#include "core/audio_slots.h"
#include "core/tray_handover.h"
#include "platform/key_store.h"
#include "platform/paths.h"
#include "platform/profile.h"
#include "platform/sound_player.h"

namespace lark {

std::vector<std::string_view> SoundEntries(std::string_view list) {
  std::vector<std::string_view> entries;
  if (list.size() > kAudioValueMax) return entries;
  size_t start = 0;
  for (size_t semi; (semi = list.find(';', start)) != std::string_view::npos; start = semi + 1) {
    if (semi > start) entries.push_back(list.substr(start, semi - start));
  }
  return entries;
}

TrayModel::TrayModel(KeyStore& keys, SoundPlayer& player, TrayIconView& view,
                     std::string installDir)
    : keys_(keys), player_(player), view_(view), installDir_(std::move(installDir)) {}

TrayModel::~TrayModel() {
  for (pid_t pid : consoles_) waitpid(pid, nullptr, WNOHANG);
}

void TrayModel::start() {
  claimSlot();
  loadTexts();
}

void TrayModel::claimSlot() {
  // A slot is held by an flock on its own file while the tray runs, so two
  // trays never share one and a killed tray's slot is free again at once.
  for (int i = 0; i < kAudioSlotValues; ++i) {
    std::string name = std::to_string(i);
    if (!slotLock_.acquire(keys_.sharedFile(kAudioKey, name), nullptr)) continue;
    // Whatever a dead tray left queued is stale: start empty.
    if (!keys_.write(kAudioKey, name, "")) {
      slotLock_.release();
      continue;
    }
    slot_ = name;
    return;
  }
}

void TrayModel::loadTexts() {
  std::string language = "English";
  if (auto ini = FindNoCase(installDir_, "manager.ini")) {
    std::string named = ReadProfileString(*ini, "Main", "Language", "English", 64);
    if (IsSafeName(named, 63)) language = named;
  }
  languageDir_ = ResolveNoCase(installDir_, language);
  std::string languageIni = ResolveNoCase(languageDir_, "language.ini");
  for (int i = 0; i < 4; ++i) {
    texts_[i] = ReadProfileString(languageIni, kTrayTextSection, "Item" + std::to_string(i + 1),
                                  kTrayItemDefaults[i], 64);
  }
  view_.setMenuText(kTrayCmdExit, texts_[0]);
  view_.setMenuText(kTrayCmdMonitor, texts_[3]);
  startStopText_ = texts_[2];
  view_.setMenuText(kTrayCmdStartStop, startStopText_);
}

void TrayModel::setIconState(int s) {
  if (!areaKnown_) return;
  switch (s) {
    case 0:
      view_.addIcon();
      return;
    case kTrayAlive:
    case kTrayOnHold:
      view_.showIcon(static_cast<TrayState>(s), kTrayTip);
      break;
    case kTrayNoService:
      view_.showIcon(kTrayNoService, kTrayNoServiceTip);
      break;
    default:
      view_.removeIcon();
      break;
  }
  state_ = static_cast<TrayState>(s);
}

void TrayModel::onSecondTick() {
  if (exited_) return;
  if (areaKnown_) {
    areaKnown_ = view_.areaAvailable();
    if (areaKnown_) {
      setIconState(state_);
    } else {
      std::fprintf(stderr, "Larktray: no notification area; the icon waits for one\n");
    }
  }
  if (!areaKnown_ && view_.areaAvailable()) {
    areaKnown_ = true;
    setIconState(0);
    setIconState(kTrayAlive);  // alive until the next poll says otherwise
  }
  player_.reapFinished();
  std::erase_if(consoles_, [](pid_t pid) { return waitpid(pid, nullptr, WNOHANG) != 0; });
  playQueuedSounds();
}

int TrayModel::pollServiceKeepAlive() {
  std::string text;
  if (!TrayRegistryOp(keys_, 3, &text)) return -1;
  long long v = std::strtoll(text.c_str(), nullptr, 10);
  auto value = static_cast<int32_t>(v < INT32_MIN ? INT32_MIN : v > INT32_MAX ? INT32_MAX : v);
  if (value == lastKeepAlive_) return 1;
  lastKeepAlive_ = value;
  return 4;
}

void TrayModel::onPollTick() {
  if (exited_) return;
  int r = pollServiceKeepAlive();
  if (r == 4) {
    state_ = kTrayAlive;
    nextIsStart_ = false;
    startStopText_ = texts_[2];
  } else if (r == 1) {
    state_ = kTrayOnHold;
    nextIsStart_ = true;
    startStopText_ = texts_[1];
  } else {
    state_ = kTrayNoService;
  }
  view_.setMenuText(kTrayCmdStartStop, startStopText_);
  setIconState(state_);
}

bool TrayModel::command(int id) {
  switch (id) {
    case kTrayCmdExit:
      exit();
      return true;
    case kTrayCmdMonitor: {
      std::string console = JoinPath(installDir_, "Larkview");
      pid_t pid = Spawn({console});
      if (pid > 0) {
        consoles_.push_back(pid);
      } else {
        std::fprintf(stderr, "Larktray: cannot start %s\n", console.c_str());
      }
      return true;
    }
    case kTrayCmdStartStop: {
      // Without a counter there is no service to ask.
      if (state_ != kTrayAlive && state_ != kTrayOnHold) return true;
      std::string text = nextIsStart_ ? "1" : "0";
      if (TrayRegistryOp(keys_, 4, &text)) nextIsStart_ = !nextIsStart_;
      return true;
    }
    default:
      return false;
  }
}

void TrayModel::exit() {
  if (exited_) return;
  exited_ = true;
  setIconState(kTrayRemoved);
  state_ = kTrayRemoved;
  if (!slot_.empty()) {
    keys_.remove(kAudioKey, slot_);
    slotLock_.release();
    slot_.clear();
  }
}

void TrayModel::playQueuedSounds() {
  if (slot_.empty()) return;
  // Read and emptied in one locked step, so an entry the service appends in
  // between waits for the next second instead of being lost.
  std::optional<std::string> list = keys_.readAndEmpty(kAudioKey, slot_);
  if (!list) return;
  for (std::string_view entry : SoundEntries(*list)) {
    auto path = SoundFilePath(languageDir_, entry);
    if (!path) {
      std::fprintf(stderr, "Larktray: sound \"%.*s\" refused or not found\n",
                   static_cast<int>(entry.size()), entry.data());
      continue;
    }
    player_.play(*path);
  }
}

}  // namespace lark
