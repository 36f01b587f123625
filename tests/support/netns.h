// A private network namespace for tests that open fixed ports, so parallel
// tests never collide and nothing leaves the machine.
#pragma once

namespace lark::test {

// Moves the calling thread (and threads it starts later) into a fresh network
// namespace with loopback up. Call it first in the test, before any thread is
// started. Returns false when not permitted; the test then skips with a message.
bool EnterPrivateNetwork();

// unshare(namespaces) for the calling process, through a user namespace that
// maps our own ids when the rights are missing.
bool UnshareAsSelf(int namespaces);

}  // namespace lark::test
