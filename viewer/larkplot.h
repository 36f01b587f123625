// The Larkplot program: command line -> context -> dialog 183 -> exit code.
#pragma once

namespace lark {

// Exit codes: the dialog's result (1 closed, 0 Escape in the graph); 2 for a
// command line or source that cannot be used, with the reason on stderr.
int RunLarkplot(int argc, char** argv);

}  // namespace lark
