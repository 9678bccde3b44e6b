#pragma once
// Questions and message boxes of the program. The window answers them with
// dialogs; a headless instance gives the default answer and logs the
// question; tests script the answers they expect.

#include <functional>
#include <string>
#include <vector>

namespace mv {

// Caption of the program's message boxes.
inline constexpr const char* kPromptTitle = "Mirava";

enum class PromptAnswer { Yes, No, Cancel };

class Prompt {
 public:
  virtual ~Prompt();
  // An error box with one OK button.
  virtual void Error(const std::string& title, const std::string& text) = 0;
  // An information box with one OK button.
  virtual void Info(const std::string& title, const std::string& text) = 0;
  virtual bool YesNo(const std::string& title, const std::string& text) = 0;
  virtual PromptAnswer YesNoCancel(const std::string& title, const std::string& text) = 0;
  // A line of text; value holds the proposal and receives the answer. False: cancelled
  // (value is then unchanged).
  virtual bool Input(const std::string& title, const std::string& label, std::string& value) = 0;
};

// No one to ask: errors and information become log lines, questions are logged
// and get their default answer (No, Cancel, no input).
class HeadlessPrompt : public Prompt {
 public:
  explicit HeadlessPrompt(std::function<void(const std::string&)> log);
  void Error(const std::string& title, const std::string& text) override;
  void Info(const std::string& title, const std::string& text) override;
  bool YesNo(const std::string& title, const std::string& text) override;
  PromptAnswer YesNoCancel(const std::string& title, const std::string& text) override;
  bool Input(const std::string& title, const std::string& label, std::string& value) override;

 private:
  void Log(const std::string& line) const;
  std::function<void(const std::string&)> log_;
};

// For tests: the questions expected, in order, with their answers. A question
// that is not the next one expected is recorded in Failures() and gets the
// default answer.
class ScriptedPrompt : public Prompt {
 public:
  enum class Kind { Error, Info, YesNo, YesNoCancel, Input };
  struct Step {
    Kind What;
    std::string Text;  // the text (for Input: the label) as asked, exactly
    PromptAnswer Answer = PromptAnswer::No;
    std::string Value;  // Input: the text typed
  };

  ScriptedPrompt() = default;
  explicit ScriptedPrompt(std::vector<Step> script);

  ScriptedPrompt& ExpectError(const std::string& text);
  ScriptedPrompt& ExpectInfo(const std::string& text);
  ScriptedPrompt& ExpectYesNo(const std::string& text, bool yes);
  ScriptedPrompt& ExpectYesNoCancel(const std::string& text, PromptAnswer answer);
  // cancel: the input is cancelled and value ignored.
  ScriptedPrompt& ExpectInput(const std::string& label, const std::string& value,
                              bool cancel = false);

  void Error(const std::string& title, const std::string& text) override;
  void Info(const std::string& title, const std::string& text) override;
  bool YesNo(const std::string& title, const std::string& text) override;
  PromptAnswer YesNoCancel(const std::string& title, const std::string& text) override;
  bool Input(const std::string& title, const std::string& label, std::string& value) override;

  // Unexpected questions, one line each.
  const std::vector<std::string>& Failures() const { return failures_; }
  // Every question asked, in order ("YesNo: DELETE this job?").
  const std::vector<std::string>& Asked() const { return asked_; }
  // Expected questions not yet asked.
  size_t Remaining() const { return script_.size() - next_; }
  // True when every expected question came and nothing else.
  bool Complete() const { return failures_.empty() && Remaining() == 0; }

 private:
  // The next step when it matches; null (and a failure recorded) otherwise.
  const Step* Take(Kind what, const std::string& text);

  std::vector<Step> script_;
  size_t next_ = 0;
  std::vector<std::string> failures_;
  std::vector<std::string> asked_;
};

const char* PromptKindName(ScriptedPrompt::Kind kind);

}  // namespace mv
