// Playing alarm sounds: one sound at a time, a new one cutting off the one
// before, as the tray program's queued sounds expect.
#pragma once
#include <sys/types.h>

#include <optional>
#include <string>

namespace lark {

class SoundPlayer {
 public:
  virtual ~SoundPlayer() = default;
  // Starts playing the file without waiting; false when it cannot be started.
  virtual bool play(const std::string& path) = 0;
  // Collects a child that ended by itself.
  virtual void reapFinished() {}
};

// Spawns paplay when a PulseAudio-compatible server answers, else aplay.
// A new play ends the previous child; every child is reaped.
class ProcessSoundPlayer : public SoundPlayer {
 public:
  // `program` forces one player ("aplay", "paplay"); empty picks per play.
  explicit ProcessSoundPlayer(std::string program = {}) : program_(std::move(program)) {}
  ~ProcessSoundPlayer() override;
  ProcessSoundPlayer(const ProcessSoundPlayer&) = delete;
  ProcessSoundPlayer& operator=(const ProcessSoundPlayer&) = delete;

  bool play(const std::string& path) override;
  void reapFinished() override { reap(); }
  // Reaps the current child when it has ended and returns its wait status.
  std::optional<int> reap();
  pid_t current() const { return child_; }

 private:
  void stopCurrent();
  std::string program_;
  pid_t child_ = -1;
};

// Whether a PulseAudio-compatible server accepts a connection on its socket
// ($PULSE_SERVER "unix:" path, else $XDG_RUNTIME_DIR/pulse/native).
bool PulseServerAnswers();

}  // namespace lark
