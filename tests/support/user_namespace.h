// Without CAP_SYS_ADMIN, a new user namespace grants the rights over the
// namespaces the private-network and private-mount helpers make.
#pragma once

namespace lark::test {

// unshare(CLONE_NEWUSER | flags) with our own ids mapped to themselves, so
// file ownership looks unchanged. False when not permitted.
bool EnterUserNamespaceWith(int flags);

}  // namespace lark::test
