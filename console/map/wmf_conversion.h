// A map picture in WMF form, turned into an image by wmf2gd in a child
// process while the window thread goes on: the map is drawn without the
// picture until it is ready, and a converter that hangs is stopped after
// kWmfTimeoutMs. The result arrives on the window thread.
#pragma once
#include <QImage>
#include <QObject>
#include <QProcess>
#include <QTimer>
#include <functional>
#include <string>

namespace lark {

inline constexpr int kWmfTimeoutMs = 5000;

class WmfConversion final : public QObject {
 public:
  // Starts converting `path`; `done` gets the picture, null when the
  // conversion failed or ran out of time. Nothing is called after the
  // object is gone (a conversion under way is stopped with it).
  WmfConversion(const std::string& path, std::function<void(QImage)> done);
  ~WmfConversion() override;

 private:
  void finish(bool ok);

  QProcess process_;
  QTimer limit_;
  std::string png_;  // the temp file wmf2gd writes
  std::function<void(QImage)> done_;
};

}  // namespace lark
