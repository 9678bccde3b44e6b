#pragma once
// The window's answers to the program's questions: Qt message boxes and
// input boxes over the main window.

#include <QPointer>
#include <QString>
#include <QWidget>

#include "app/prompt.h"

namespace mv {

class QtPrompt : public Prompt {
 public:
  explicit QtPrompt(QWidget* parent = nullptr) : parent_(parent) {}
  // The window the boxes are centred on (may be null).
  void SetParent(QWidget* parent) { parent_ = parent; }

  void Error(const std::string& title, const std::string& text) override;
  void Info(const std::string& title, const std::string& text) override;
  bool YesNo(const std::string& title, const std::string& text) override;
  PromptAnswer YesNoCancel(const std::string& title, const std::string& text) override;
  bool Input(const std::string& title, const std::string& label, std::string& value) override;

 private:
  QPointer<QWidget> parent_;
};

// The program's texts break lines with CR; Qt's boxes break them with LF.
QString PromptText(const std::string& text);

}  // namespace mv
