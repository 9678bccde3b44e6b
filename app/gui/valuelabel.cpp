#include "app/gui/valuelabel.h"

#include <QKeyEvent>
#include <QMouseEvent>

namespace mv {

ValueLabel::ValueLabel(const QString& caption, QWidget* parent) : QLabel(parent), caption_(caption) {
  setAccessibleName(caption);
  setTextFormat(Qt::PlainText);
  setFocusPolicy(Qt::StrongFocus);
  setCursor(Qt::PointingHandCursor);
  setMinimumWidth(40);
  setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
}

void ValueLabel::SetValue(const QString& text) {
  value_ = text;
  setAccessibleDescription(text);
  setToolTip(text);
  Elide();
}

void ValueLabel::Activate() {
  red_ = true;
  setStyleSheet("color: red");
  repaint();
  if (show_) show_(caption_, value_);
  red_ = false;
  setStyleSheet("");
}

void ValueLabel::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) Activate();
  QLabel::mouseReleaseEvent(event);
}

void ValueLabel::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter ||
      event->key() == Qt::Key_Space) {
    Activate();
    return;
  }
  QLabel::keyPressEvent(event);
}

void ValueLabel::resizeEvent(QResizeEvent* event) {
  QLabel::resizeEvent(event);
  Elide();
}

void ValueLabel::Elide() {
  setText(fontMetrics().elidedText(value_, Qt::ElideRight, qMax(10, width())));
}

}  // namespace mv
