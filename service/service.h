// The Larkcore service: one context object owning every subsystem.
#pragma once

namespace lark {

int RunLarkcore();

}  // namespace lark
