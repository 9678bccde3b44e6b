#include "app/prompt.h"

namespace mv {

Prompt::~Prompt() = default;

HeadlessPrompt::HeadlessPrompt(std::function<void(const std::string&)> log)
    : log_(std::move(log)) {}

void HeadlessPrompt::Log(const std::string& line) const {
  if (log_) log_(line);
}

void HeadlessPrompt::Error(const std::string&, const std::string& text) { Log(text); }

void HeadlessPrompt::Info(const std::string&, const std::string& text) { Log(text); }

bool HeadlessPrompt::YesNo(const std::string&, const std::string& text) {
  Log(text + " - No");
  return false;
}

PromptAnswer HeadlessPrompt::YesNoCancel(const std::string&, const std::string& text) {
  Log(text + " - Cancel");
  return PromptAnswer::Cancel;
}

bool HeadlessPrompt::Input(const std::string&, const std::string& label, std::string&) {
  Log(label + " - Cancel");
  return false;
}

const char* PromptKindName(ScriptedPrompt::Kind kind) {
  switch (kind) {
    case ScriptedPrompt::Kind::Error: return "Error";
    case ScriptedPrompt::Kind::Info: return "Info";
    case ScriptedPrompt::Kind::YesNo: return "YesNo";
    case ScriptedPrompt::Kind::YesNoCancel: return "YesNoCancel";
    case ScriptedPrompt::Kind::Input: return "Input";
  }
  return "?";
}

ScriptedPrompt::ScriptedPrompt(std::vector<Step> script) : script_(std::move(script)) {}

ScriptedPrompt& ScriptedPrompt::ExpectError(const std::string& text) {
  script_.push_back({Kind::Error, text});
  return *this;
}

ScriptedPrompt& ScriptedPrompt::ExpectInfo(const std::string& text) {
  script_.push_back({Kind::Info, text});
  return *this;
}

ScriptedPrompt& ScriptedPrompt::ExpectYesNo(const std::string& text, bool yes) {
  script_.push_back({Kind::YesNo, text, yes ? PromptAnswer::Yes : PromptAnswer::No});
  return *this;
}

ScriptedPrompt& ScriptedPrompt::ExpectYesNoCancel(const std::string& text, PromptAnswer answer) {
  script_.push_back({Kind::YesNoCancel, text, answer});
  return *this;
}

ScriptedPrompt& ScriptedPrompt::ExpectInput(const std::string& label, const std::string& value,
                                            bool cancel) {
  script_.push_back({Kind::Input, label, cancel ? PromptAnswer::Cancel : PromptAnswer::Yes, value});
  return *this;
}

const ScriptedPrompt::Step* ScriptedPrompt::Take(Kind what, const std::string& text) {
  const std::string asked = std::string(PromptKindName(what)) + ": " + text;
  asked_.push_back(asked);
  if (next_ < script_.size() && script_[next_].What == what && script_[next_].Text == text)
    return &script_[next_++];
  if (next_ < script_.size())
    failures_.push_back("unexpected " + asked + " (expected " +
                        PromptKindName(script_[next_].What) + ": " + script_[next_].Text + ")");
  else
    failures_.push_back("unexpected " + asked + " (no more questions expected)");
  return nullptr;
}

void ScriptedPrompt::Error(const std::string&, const std::string& text) { Take(Kind::Error, text); }

void ScriptedPrompt::Info(const std::string&, const std::string& text) { Take(Kind::Info, text); }

bool ScriptedPrompt::YesNo(const std::string&, const std::string& text) {
  const Step* step = Take(Kind::YesNo, text);
  return step && step->Answer == PromptAnswer::Yes;
}

PromptAnswer ScriptedPrompt::YesNoCancel(const std::string&, const std::string& text) {
  const Step* step = Take(Kind::YesNoCancel, text);
  return step ? step->Answer : PromptAnswer::Cancel;
}

bool ScriptedPrompt::Input(const std::string&, const std::string& label, std::string& value) {
  const Step* step = Take(Kind::Input, label);
  if (!step || step->Answer == PromptAnswer::Cancel) return false;
  value = step->Value;
  return true;
}

}  // namespace mv
