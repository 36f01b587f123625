#include "service/service.h"

int main() { return lark::RunLarkcore(); }
