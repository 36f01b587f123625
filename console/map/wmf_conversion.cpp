#include "console/map/wmf_conversion.h"

#include <stdlib.h>
#include <unistd.h>

#include <QImageReader>

namespace lark {

WmfConversion::WmfConversion(const std::string& path, std::function<void(QImage)> done)
    : done_(std::move(done)) {
  char tmpl[] = "/tmp/larkview-wmf-XXXXXX";
  const int fd = ::mkstemp(tmpl);
  if (fd < 0) {
    QTimer::singleShot(0, this, [this] { finish(false); });
    return;
  }
  ::close(fd);
  png_ = tmpl;
  // Its progress and font messages go nowhere.
  process_.setStandardOutputFile(QProcess::nullDevice());
  process_.setStandardErrorFile(QProcess::nullDevice());
  connect(&process_, &QProcess::finished, this, [this](int code, QProcess::ExitStatus status) {
    finish(status == QProcess::NormalExit && code == 0);
  });
  connect(&process_, &QProcess::errorOccurred, this, [this](QProcess::ProcessError e) {
    if (e == QProcess::FailedToStart) finish(false);
  });
  limit_.setSingleShot(true);
  connect(&limit_, &QTimer::timeout, this, [this] { process_.kill(); });  // finished follows
  limit_.start(kWmfTimeoutMs);
  process_.start("wmf2gd",
                 {"-t", "png", "-o", QString::fromStdString(png_), QString::fromStdString(path)});
}

WmfConversion::~WmfConversion() {
  done_ = nullptr;
  if (process_.state() != QProcess::NotRunning) {
    process_.kill();
    process_.waitForFinished(1000);  // killed: it ends at once
  }
  if (!png_.empty()) ::unlink(png_.c_str());
}

void WmfConversion::finish(bool ok) {
  limit_.stop();
  QImage img;
  if (ok) img = QImageReader(QString::fromStdString(png_)).read();
  if (!png_.empty()) ::unlink(png_.c_str());
  png_.clear();
  if (auto done = std::move(done_)) {
    done_ = nullptr;
    done(std::move(img));
  }
}

}  // namespace lark
