#include "tools/shots/accesscheck.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QLabel>

namespace mv::shots {
namespace {

// A caption as it is read out: "&&" is an ampersand, a lone "&" marks the
// mnemonic.
QString Spoken(const QString& caption) {
  QString out;
  for (qsizetype i = 0; i < caption.size(); ++i) {
    if (caption[i] == '&' && i + 1 < caption.size()) ++i;
    out += caption[i];
  }
  return out;
}

QString Describe(const QWidget& w) {
  return QString("%1 \"%2\"").arg(w.metaObject()->className(),
                                  w.objectName().isEmpty() ? QStringLiteral("(unnamed)") : w.objectName());
}

}  // namespace

QStringList AccessProblems(QWidget& window) {
  QStringList problems;
  const QList<QLabel*> labels = window.findChildren<QLabel*>();
  for (QWidget* w : window.findChildren<QWidget*>()) {
    if (!w->isVisibleTo(&window) || !(w->focusPolicy() & Qt::TabFocus)) continue;
    // Parts of a composite control (a combo box's line edit, a view's
    // viewport) are announced through the control itself.
    if (w->focusProxy() || (w->parentWidget() && w->parentWidget()->focusProxy() == w)) continue;
    // The name given, else what Qt derives (a button's text, a buddy's
    // label); a combo box derives its current text, on Linux by design.
    QString name = w->accessibleName();
    if (name.isEmpty()) {
      QAccessibleInterface* access = QAccessible::queryAccessibleInterface(w);
      name = access ? access->text(QAccessible::Name) : QString();
    }
    QString expected;
    if (auto* button = qobject_cast<QAbstractButton*>(w); button && !button->text().isEmpty())
      expected = Spoken(button->text());
    for (QLabel* label : labels)
      if (label->buddy() == w && label->isVisibleTo(&window)) expected = Spoken(label->text());
    if (name.isEmpty())
      problems << Describe(*w) + ": no accessible name";
    // "Exclude (files)": a qualifier in brackets tells apart two controls of
    // one caption.
    else if (!expected.isEmpty() && name != expected && !name.startsWith(expected + " ("))
      problems << Describe(*w) + ": named \"" + name + "\", its caption or label reads \"" + expected + "\"";
  }
  return problems;
}

}  // namespace mv::shots
