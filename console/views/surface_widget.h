// A window whose content is painted from outside: painters draw into its
// persistent picture and call update(); paintEvent only copies the picture,
// so a window uncovered in between shows what was last painted.
#pragma once
#include <QFrame>
#include <QImage>

namespace lark {

class SurfaceWidget : public QFrame {
 public:
  explicit SurfaceWidget(QWidget* parent = nullptr);
  // The picture at the window's size; a new size starts a new picture in
  // the window colour (the painters then repaint in full).
  QImage& surface();
  bool hasSurface() const { return !surface_.isNull(); }

 protected:
  void paintEvent(QPaintEvent* e) override;

 private:
  QImage surface_;
};

}  // namespace lark
