#include "service/service.h"

namespace lark {

int RunLarkcore() { return 0; }

}  // namespace lark
