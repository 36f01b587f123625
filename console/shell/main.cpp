// Larkview: the operators' console.
#include "console/shell/larkview.h"
#include "console/tabs/detail_tabs.h"

int main(int argc, char** argv) { return lark::RunLarkview(argc, argv, lark::InstallDetailTabs); }
