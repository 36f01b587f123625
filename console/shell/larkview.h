// The Larkview program: start-up, the Qt event loop, shutdown.
#pragma once

namespace lark {

int RunLarkview(int argc, char** argv);

}  // namespace lark
