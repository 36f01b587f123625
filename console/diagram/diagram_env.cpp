#include "console/diagram/diagram_env.h"

namespace lark {

std::string DiagramEnv::component(int n) const {
  return texts != nullptr ? std::string(texts->componentText(n)) : std::string();
}

std::string DiagramEnv::common(int n) const {
  return texts != nullptr ? std::string(texts->commonText(n)) : std::string();
}

}  // namespace lark
