// Peers and simulators started by tests as child processes.
#pragma once
#include <sys/types.h>

#include <string>
#include <vector>

namespace lark::test {

// Starts argv[0] with `args` (stdout to /dev/null, and stderr too when
// `quiet`); -1 when it cannot fork.
pid_t SpawnChild(const std::vector<std::string>& args, bool quiet = true);
// Sends `signo` and reaps the child; sets `pid` to -1. Does nothing for -1.
void StopChild(pid_t& pid, int signo);

}  // namespace lark::test
