// After the configuration download: the console's settings, texts, rights
// and tables are read anew from the copies in Monitor/, in the order later
// steps depend on (settings before the texts they name, texts before the
// tables and column titles), then the map shows by the user's level.
#pragma once

namespace lark {

class ConsoleContext;
class ServiceLink;

// The reload alone; the level the rights were set for (the logged-in user's
// with accounts in use, else 2).
int ReloadConsoleTables(ConsoleContext& ctx, ServiceLink& link);
// The reload, then with a user level the map shows, counts as unchanged and
// the link goes on to the call-back step (4,2), (6,0); without one only (4,2).
void ReloadConfiguration(ConsoleContext& ctx, ServiceLink& link);

}  // namespace lark
