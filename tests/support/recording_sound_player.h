// A sound player that records what it was asked to play.
#pragma once
#include <string>
#include <vector>

#include "platform/sound_player.h"

namespace lark::test {

class RecordingSoundPlayer : public SoundPlayer {
 public:
  bool play(const std::string& path) override {
    played.push_back(path);
    return true;
  }
  std::vector<std::string> played;
};

}  // namespace lark::test
