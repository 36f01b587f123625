// A private /dev/shm for tests that create shared-memory objects, so
// parallel tests (and a demo on the same machine) never meet.
#pragma once

namespace lark::test {

// Moves the calling process into a fresh mount namespace with its own empty
// tmpfs on /dev/shm; children started later share it. Call it first in the
// test, before any thread is started. Returns false when not permitted; the
// test then skips with a message.
bool EnterPrivateSharedMemory();

}  // namespace lark::test
