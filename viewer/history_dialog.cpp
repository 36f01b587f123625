#include "viewer/history_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QSlider>

#include "console/views/drawing_kit.h"
#include "console/views/image_canvas.h"
#include "viewer/data/history_export.h"
#include "viewer/graph_window.h"
#include "viewer/viewer_context.h"

namespace lark {

namespace {

constexpr int kAlpha = 230;
constexpr int kLeftWidth = 230;

// A "ColorClass" swatch: its text names the colour it shows.
class ColorSwatch : public QWidget {
 public:
  ColorSwatch(const char* name, QWidget* parent) : QWidget(parent), name_(name) {
    setObjectName("ColorClass");
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    static const struct {
      const char* name;
      ColorRef colour;
    } kSwatches[] = {{"red", Rgb(255, 0, 0)},
                     {"green", Rgb(0, 128, 0)},
                     {"blue", Rgb(0, 0, 255)},
                     {"yellow", Rgb(255, 255, 0)},
                     {"brown", Rgb(128, 0, 0)}};
    QImage img(width(), height(), QImage::Format_RGB32);
    img.fill(ToQColor(SysColorValue(kColorWindow)));
    ImageCanvas c(&img);
    for (const auto& s : kSwatches) {
      if (name_ != s.name) continue;
      c.SelectPen(PenStyle::kSolid, 1, 0);
      c.SelectBrush(s.colour);
      c.Rectangle(0, 0, width(), height());
    }
    QPainter(this).drawImage(0, 0, img);
  }

 private:
  std::string name_;
};

QString Q(const std::string& s) { return QString::fromStdString(s); }

template <class W>
W* Place(W* w, int id, int x, int y, int width, int height) {
  w->setProperty("id", id);
  w->setGeometry(x, y, width, height);
  return w;
}

}  // namespace

HistoryDialog::HistoryDialog(ViewerContext& ctx, QWidget* parent) : QDialog(parent), ctx_(ctx) {
  setObjectName("HistoricalGraph");
  setProperty("id", 183);
  setWindowFlags(Qt::Window | Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
  setFont(QFont("Arial", 9));
  setMinimumSize(kDialogMinWidth, kDialogMinHeight);
  const HistoricalGraphTexts& t = ctx_.texts();
  const ViewerArgs& a = ctx_.args();
  GraphViewState& s = ctx_.state();
  setWindowTitle(Q(t.title));

  Place(new QGroupBox(this), -1, 6, 6, kLeftWidth, 560);
  Place(new QLabel(Q(t.uiTitle), this), 1181, 14, 20, 200, 16);
  auto* title = Place(new QLabel(Q(a.title), this), 1180, 14, 38, 210, 20);
  title->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  Place(new QLabel(Q(t.horizontal), this), 1182, 14, 68, 200, 16);
  auto* spans = Place(new QComboBox(this), 107, 14, 86, 210, 22);
  for (const SpanInfo& i : kSpans) spans->addItem(i.text);
  spans->setCurrentIndex(s.span);
  Place(new QLabel(Q(t.vertical), this), 1183, 14, 116, 200, 16);
  auto* scales = Place(new QComboBox(this), 108, 14, 134, 210, 22);
  for (const ScaleInfo& i : kScales) scales->addItem(i.text);
  scales->setCurrentIndex(s.scale);
  Place(new QLabel(Q(t.month), this), 1184, 14, 164, 200, 16);
  auto* years = Place(new QComboBox(this), 103, 14, 182, 100, 22);
  const int year = ctx_.clock().now().year;
  for (int i = 0; i < YearListCount(a.historyDepth); ++i) years->addItem(QString::number(year - i));
  years->setCurrentIndex(0);
  auto* months = Place(new QComboBox(this), 104, 124, 182, 100, 22);
  for (int m = 1; m <= 12; ++m) months->addItem(QString::number(m));
  months->setCurrentIndex(s.monthIndex);

  static constexpr int kCheckIds[kCurveCount] = {1002, 1003, 1004, 1005, 1006};
  static constexpr int kSwatchIds[kCurveCount] = {1007, 1008, 1009, 1011, 1012};
  static constexpr const char* kSwatchNames[kCurveCount] = {"red", "green", "blue", "yellow",
                                                            "brown"};
  const HistoryLayout layout = ViewerLayoutOf(a.deviceClass, a.commType, a.mibType);
  const bool known = a.deviceClass == 0 || a.deviceClass == 2 || a.deviceClass == 3;
  const ParamTable& table = ctx_.titles().table(TitleFamilyOf(layout));
  for (int c = 0; c < kCurveCount; ++c) {
    const int y = 220 + c * 34;
    auto* check =
        Place(new QCheckBox(QString("%1:").arg(c + 1), this), kCheckIds[c], 14, y, 40, 22);
    check->setChecked(true);
    Place(new ColorSwatch(kSwatchNames[c], this), kSwatchIds[c], 56, y + 3, 22, 16);
    auto* list = Place(new QComboBox(this), 121 + c, 84, y, 140, 22);
    if (!known) continue;
    for (int n = 0; n < std::min(layout.valueCount, 64); ++n)
      if (a.mask >> n & 1) list->addItem(Q(std::string(table.title(static_cast<size_t>(n)))));
    // The default is chosen by number, not by a title that may be empty or shared.
    list->setCurrentIndex(
        ListPosOfParam(a.mask, layout.valueCount, s.params[static_cast<size_t>(c)]));
  }
  auto* exportButton = Place(new QPushButton(Q(t.exportButton), this), 110, 14, 400, 100, 28);
  auto* update = Place(new QPushButton(Q(t.updateButton), this), 106, 124, 400, 100, 28);
  update->setDefault(true);
  auto* alpha = Place(new QSlider(Qt::Horizontal, this), 1010, 14, 440, 210, 24);
  alpha->setTickPosition(QSlider::NoTicks);

  graph_ = new GraphWindow(ctx_, this);
  graph_->setGeometry(kLeftWidth + 14, 6, kDialogMinWidth - kLeftWidth - 20, kDialogMinHeight - 12);
  graph_->endDialog = [this](int r) { done(r); };
  ctx_.onTrouble = [this](const std::string& trouble) { ShowCaption(trouble); };

  connect(update, &QPushButton::clicked, this, [this] { Update(); });
  connect(exportButton, &QPushButton::clicked, this, [this] { Export(); });
  // Translucency where the platform can show it; the trackbar is idle otherwise.
  const QString platform = QGuiApplication::platformName();
  if (platform != "offscreen" && platform != "minimal") {
    alpha->setRange(50, 255);
    alpha->setValue(kAlpha);
    setWindowOpacity(kAlpha / 255.0);
    connect(alpha, &QSlider::valueChanged, this, [this](int v) { setWindowOpacity(v / 255.0); });
  }
  resize(kDialogMinWidth, kDialogMinHeight);
  Update(true);
}

QWidget* HistoryDialog::control(int id) const {
  for (QWidget* w : findChildren<QWidget*>())
    if (w->property("id").isValid() && w->property("id").toInt() == id) return w;
  return nullptr;
}

void HistoryDialog::Update(bool keepDefaults) {
  GraphViewState& s = ctx_.state();
  const ViewerArgs& a = ctx_.args();
  auto combo = [this](int id) { return static_cast<QComboBox*>(control(id)); };
  s.yearIndex = std::max(combo(103)->currentIndex(), 0);
  s.monthIndex = std::max(combo(104)->currentIndex(), 0);
  if (!keepDefaults) {
    const int count = ViewerLayoutOf(a.deviceClass, a.commType, a.mibType).valueCount;
    for (int c = 0; c < kCurveCount; ++c) {
      const int pos = combo(121 + c)->currentIndex();
      s.params[static_cast<size_t>(c)] = ParamIndexFromListPos(a.mask, count, pos);
    }
  }
  s.span = std::max(combo(107)->currentIndex(), 0);
  s.scale = std::max(combo(108)->currentIndex(), 0);
  for (int c = 0; c < kCurveCount; ++c)
    s.curveOn[static_cast<size_t>(c)] = static_cast<QCheckBox*>(control(1002 + c))->isChecked();
  s.redraw = true;
  graph_->PaintNow();
  graph_->repaint();
}

void HistoryDialog::Export() {
  if (!ctx_.chooseExportPath) return;
  const std::optional<std::string> path = ctx_.chooseExportPath();
  if (!path) return;
  const int year = ctx_.selectedYear(), month = ctx_.selectedMonth();
  const std::string error =
      ExportMonth(ctx_.ReadMonth(year, month), ctx_.titles(), year, month, *path);
  if (!error.empty() && ctx_.messageBox)
    ctx_.messageBox(error, "Historical Parameters", MessageIcon::kError);
}

void HistoryDialog::ShowCaption(const std::string& trouble) {
  const std::string& title = ctx_.texts().title;
  setWindowTitle(Q(trouble.empty() ? title : title + " - " + trouble));
}

void HistoryDialog::resizeEvent(QResizeEvent* e) {
  QDialog::resizeEvent(e);
  if (graph_ == nullptr) return;
  // The graph keeps its place and takes the whole change of size.
  graph_->resize(width() - graph_->x() - 6, height() - graph_->y() - 6);
}

}  // namespace lark
