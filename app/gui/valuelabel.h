#pragma once
// A "Job Parameters" value: clicking it (or Enter/Space while it has the
// focus) turns it red, shows its whole text in an information box and turns
// it black again.

#include <QLabel>
#include <functional>

namespace mv {

class ValueLabel : public QLabel {
  Q_OBJECT
 public:
  // caption: the label in front of it, also its accessible name.
  ValueLabel(const QString& caption, QWidget* parent = nullptr);

  void SetValue(const QString& text);
  const QString& Value() const { return value_; }
  // Called with the caption and the whole text while the label is red.
  void SetOnShow(std::function<void(const QString&, const QString&)> show) { show_ = std::move(show); }
  void Activate();
  bool Red() const { return red_; }

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void Elide();

  QString caption_;
  QString value_;
  bool red_ = false;
  std::function<void(const QString&, const QString&)> show_;
};

}  // namespace mv
