#pragma once
// Drives a modal dialog from inside its own event loop: the script runs once
// the dialog is shown, and whatever the script leaves open is cancelled, so a
// failing check never leaves the test hanging in exec().

#include <QApplication>
#include <QDialog>
#include <QTimer>
#include <QtTest>
#include <functional>

namespace mv::test {

// Runs script on the next modal dialog of type D that appears.
template <typename D>
void WhenShown(std::function<void(D&)> script) {
  QTimer::singleShot(0, [script] {
    D* dialog = nullptr;
    QTRY_VERIFY_WITH_TIMEOUT((dialog = qobject_cast<D*>(QApplication::activeModalWidget())) &&
                                 dialog->isVisible(),
                             10000);
    struct CloseAtEnd {
      D* d;
      ~CloseAtEnd() {
        if (d->isVisible()) d->reject();
      }
    } closeAtEnd{dialog};
    script(*dialog);
  });
}

}  // namespace mv::test
