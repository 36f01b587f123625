#include "viewer/larkplot.h"

int main(int argc, char** argv) { return lark::RunLarkplot(argc, argv); }
