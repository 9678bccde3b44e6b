#include "app/prompt.h"

#include <gtest/gtest.h>

namespace mv {
namespace {

TEST(ScriptedPrompt, AnUnexpectedQuestionFailsAndGetsTheDefault) {
  ScriptedPrompt p;
  p.ExpectYesNo("RUN this job NOW?", true);
  // Right text, wrong kind; then the right one; then one too many.
  EXPECT_EQ(p.YesNoCancel("Mirava", "RUN this job NOW?"), PromptAnswer::Cancel);
  EXPECT_TRUE(p.YesNo("Mirava", "RUN this job NOW?"));
  EXPECT_FALSE(p.YesNo("Mirava", "DELETE this job?"));
  ASSERT_EQ(p.Failures().size(), 2u);
  EXPECT_NE(p.Failures()[0].find("expected YesNo: RUN this job NOW?"), std::string::npos);
  EXPECT_NE(p.Failures()[1].find("no more questions expected"), std::string::npos);
  EXPECT_FALSE(p.Complete());
}

TEST(HeadlessPrompt, LogsAndGivesTheDefaultAnswers) {
  std::vector<std::string> log;
  HeadlessPrompt p([&log](const std::string& line) { log.push_back(line); });
  p.Error("Mirava", "already in use");
  EXPECT_FALSE(p.YesNo("Mirava", "DELETE this job?"));
  EXPECT_EQ(p.YesNoCancel("Mirava", "Save?"), PromptAnswer::Cancel);
  std::string value = "x";
  EXPECT_FALSE(p.Input("Mirava", "Name:", value));
  EXPECT_EQ(value, "x");
  EXPECT_EQ(log, (std::vector<std::string>{"already in use", "DELETE this job? - No",
                                           "Save? - Cancel", "Name: - Cancel"}));
}

}  // namespace
}  // namespace mv
