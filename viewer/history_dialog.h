// Dialog 183: the device title, year, month, spans, scales and five curves
// on the left, the graph on the right, Update, Export and the translucency
// trackbar. Every control carries its id in the property "id".
#pragma once
#include <QDialog>

namespace lark {

class ViewerContext;
class GraphWindow;

inline constexpr int kDialogMinWidth = 915;
inline constexpr int kDialogMinHeight = 587;

class HistoryDialog : public QDialog {
 public:
  explicit HistoryDialog(ViewerContext& ctx, QWidget* parent = nullptr);

  // Button 106; `keepDefaults` is the opening's own Update.
  void Update(bool keepDefaults = false);
  // Button 110.
  void Export();
  GraphWindow* graph() const { return graph_; }
  // The control with `id`, or null.
  QWidget* control(int id) const;
  // The dialog's close command ends it with 1 (Escape in the graph gives 0).
  void reject() override { done(1); }

 protected:
  void resizeEvent(QResizeEvent*) override;

 private:
  void ShowCaption(const std::string& trouble);
  ViewerContext& ctx_;
  GraphWindow* graph_ = nullptr;
};

}  // namespace lark
