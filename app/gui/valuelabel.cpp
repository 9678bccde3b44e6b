#include "app/gui/valuelabel.h"

#include <QKeyEvent>
#include <QMouseEvent>

namespace mv {

ElidedLabel::ElidedLabel(const QString& caption, Qt::TextElideMode mode, QWidget* parent)
    : QLabel(parent), caption_(caption), mode_(mode) {
  setAccessibleName(caption);
  setTextFormat(Qt::PlainText);
  setMinimumWidth(40);
  setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
}

void ElidedLabel::SetValue(const QString& text) {
  if (value_ == text && !text.isEmpty()) return;
  value_ = text;
  setAccessibleDescription(text);
  setToolTip(text);
  Elide();
}

void ElidedLabel::resizeEvent(QResizeEvent* event) {
  QLabel::resizeEvent(event);
  Elide();
}

void ElidedLabel::Elide() { setText(fontMetrics().elidedText(value_, mode_, qMax(10, width()))); }

ValueLabel::ValueLabel(const QString& caption, QWidget* parent)
    : ElidedLabel(caption, Qt::ElideRight, parent) {
  setFocusPolicy(Qt::StrongFocus);
  setCursor(Qt::PointingHandCursor);
}

void ValueLabel::Activate() {
  red_ = true;
  setStyleSheet("color: red");
  repaint();
  if (show_) show_(Caption(), Value());
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

}  // namespace mv
