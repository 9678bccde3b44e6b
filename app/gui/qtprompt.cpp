#include "app/gui/qtprompt.h"

#include <QInputDialog>
#include <QMessageBox>

namespace mv {
namespace {

QString Title(const std::string& title) {
  return QString::fromStdString(title.empty() ? std::string(kPromptTitle) : title);
}

QMessageBox::StandardButton Ask(QWidget* parent, QMessageBox::Icon icon, const std::string& title,
                                const std::string& text, QMessageBox::StandardButtons buttons) {
  QMessageBox box(icon, Title(title), PromptText(text), buttons, parent);
  box.setAccessibleName(Title(title));
  box.setAccessibleDescription(PromptText(text));
  // Enter takes the first button, as users of such boxes expect; Esc the last.
  if (buttons & QMessageBox::Yes) box.setDefaultButton(QMessageBox::Yes);
  return static_cast<QMessageBox::StandardButton>(box.exec());
}

}  // namespace

QString PromptText(const std::string& text) {
  QString s = QString::fromStdString(text);
  s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  s.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return s;
}

void QtPrompt::Error(const std::string& title, const std::string& text) {
  Ask(parent_, QMessageBox::Critical, title, text, QMessageBox::Ok);
}

void QtPrompt::Info(const std::string& title, const std::string& text) {
  Ask(parent_, QMessageBox::Information, title, text, QMessageBox::Ok);
}

bool QtPrompt::YesNo(const std::string& title, const std::string& text) {
  return Ask(parent_, QMessageBox::Question, title, text, QMessageBox::Yes | QMessageBox::No) ==
         QMessageBox::Yes;
}

PromptAnswer QtPrompt::YesNoCancel(const std::string& title, const std::string& text) {
  switch (Ask(parent_, QMessageBox::Question, title, text,
              QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel)) {
    case QMessageBox::Yes: return PromptAnswer::Yes;
    case QMessageBox::No: return PromptAnswer::No;
    default: return PromptAnswer::Cancel;
  }
}

bool QtPrompt::Input(const std::string& title, const std::string& label, std::string& value) {
  QInputDialog dialog(parent_);
  dialog.setWindowTitle(Title(title));
  dialog.setLabelText(PromptText(label));
  dialog.setTextValue(QString::fromStdString(value));
  dialog.setAccessibleName(Title(title));
  if (dialog.exec() != QDialog::Accepted) return false;
  value = dialog.textValue().toStdString();
  return true;
}

}  // namespace mv
