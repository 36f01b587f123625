// Test entry of the console tests: one QApplication for the process (the
// offscreen platform comes from the test's environment) and a check that
// "Arial" is Liberation Sans, the metric twin every layout is measured with.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFontInfo>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  QFont arial("Arial");
  arial.setPixelSize(11);
  const QString family = QFontInfo(arial).family();
  if (family != "Liberation Sans") {
    std::fprintf(stderr, "\"Arial\" resolves to %s, not Liberation Sans (fonts-liberation)\n",
                 family.toUtf8().constData());
    return 2;
  }
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
