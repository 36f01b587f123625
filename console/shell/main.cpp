// Larkview: the operators' console.
#include "console/dialogs/console_dialogs.h"
#include "console/shell/larkview.h"

int main(int argc, char** argv) { return lark::RunLarkview(argc, argv, lark::InstallConsoleDialogs); }
