// A private mount namespace for tests that need a small or read-only file
// system: what they mount is seen by this process only and goes with it.
#pragma once
#include <cstddef>
#include <string>

namespace lark::test {

// Moves the process into a fresh mount namespace whose mounts do not reach
// the host. Call it before any thread is started. False when not permitted;
// the test then skips with a message.
bool EnterPrivateMounts();
// A tmpfs of `bytes` on the existing folder `path`.
bool MountSmallDisk(const std::string& path, size_t bytes);
// Makes `path` read-only (a bind mount of itself).
bool MakeReadOnly(const std::string& path);
bool Unmount(const std::string& path);

}  // namespace lark::test
