#include "console/shell/larkview.h"

#include <QApplication>

namespace lark {

int RunLarkview(int argc, char** argv) {
  QApplication app(argc, argv);
  return 0;
}

}  // namespace lark
