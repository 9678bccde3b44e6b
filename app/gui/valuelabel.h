#pragma once
// Labels of the Joblist page's panels that show a text longer than they are
// wide: shortened to their width (again whenever it changes), the whole text
// in their tooltip and accessible description.

#include <QLabel>
#include <functional>

namespace mv {

class ElidedLabel : public QLabel {
  Q_OBJECT
 public:
  // caption: the label in front of it, also its accessible name.
  ElidedLabel(const QString& caption, Qt::TextElideMode mode, QWidget* parent = nullptr);

  void SetValue(const QString& text);
  const QString& Value() const { return value_; }
  const QString& Caption() const { return caption_; }

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void Elide();

  QString caption_;
  QString value_;
  Qt::TextElideMode mode_;
};

// A "Job Parameters" value: clicking it (or Enter/Space while it has the
// focus) turns it red, shows its whole text in an information box and turns
// it black again.
class ValueLabel : public ElidedLabel {
  Q_OBJECT
 public:
  explicit ValueLabel(const QString& caption, QWidget* parent = nullptr);

  // Called with the caption and the whole text while the label is red.
  void SetOnShow(std::function<void(const QString&, const QString&)> show) { show_ = std::move(show); }
  void Activate();
  bool Red() const { return red_; }

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  bool red_ = false;
  std::function<void(const QString&, const QString&)> show_;
};

}  // namespace mv
