// Larkview: the operators' console.
#include "console/shell/larkview.h"

int main(int argc, char** argv) { return lark::RunLarkview(argc, argv); }
