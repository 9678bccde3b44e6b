#include "app/logpage.h"

#include <gtest/gtest.h>

namespace mv {
namespace {

std::vector<std::string> JobCells(const LogPage& page) {
  std::vector<std::string> cells;
  for (int i = 0; i < page.Count(); ++i) cells.push_back(page.At(i)->Job);
  return cells;
}

TEST(LogPage, ConsecutiveLinesOfOneJobShowItsNameOnce) {
  LogPage page;
  for (int i = 0; i < 10; ++i) page.AddLogLine("@0000002A;05.12.2026 18:30:00;;line " + std::to_string(i));
  page.AddLogLine("Program initialized");
  page.AddLogLine("@0000002A;05.12.2026 18:31:00;5;after; a plain line");
  page.AddLogLine("@0000002B;05.12.2026 18:31:00;;other job");
  std::vector<std::string> expected{"0000002A"};
  expected.resize(10);
  expected.insert(expected.end(), {"0", "0000002A", "0000002B"});
  EXPECT_EQ(JobCells(page), expected);
  const LogLine& plain = *page.At(10);
  EXPECT_EQ(plain.Time, "(time)");
  EXPECT_EQ(plain.Error, "");
  EXPECT_EQ(plain.Text, "Program initialized");
  const LogLine& withCode = *page.At(11);
  EXPECT_EQ(withCode.Time, "05.12.2026 18:31:00");
  EXPECT_EQ(withCode.Error, "5");
  EXPECT_EQ(withCode.Text, "after; a plain line") << "the message keeps its own \";\"";
}

TEST(LogPage, OverTheBudgetEachAddedLineRemovesExactlyOne) {
  LogPage page;
  EXPECT_EQ(page.StatusText(0), "<no message>");
  // Cells of a plain line: "0" + "(time)" + 93 characters = 100.
  const std::string text(93, 'x');
  for (int i = 0; i < 640; ++i) page.AddLogLine(text);
  EXPECT_EQ(page.Count(), 640);
  EXPECT_EQ(page.Chars(), 64000) << "exactly at the budget nothing goes";
  page.AddLogLine(text);
  EXPECT_EQ(page.Count(), 640);
  // A long line takes the place of one short line only: the total stays above.
  page.AddLogLine(std::string(993, 'y'));
  EXPECT_EQ(page.Count(), 640);
  EXPECT_EQ(page.Chars(), 64900);
  EXPECT_EQ(page.At(639)->Text.size(), 993u);
  page.AddLogLine(text);
  EXPECT_EQ(page.Count(), 640);
  EXPECT_EQ(page.StatusText(7), " Log Lines: 640 Log Chars: 64900 Error list items: 7");
}

TEST(LogPage, AJobWhoseNamedLineWasDroppedIsNamedAgain) {
  LogPage page(100);
  page.AddLogLine("@0000002A;t;;" + std::string(60, 'a'));
  page.AddLogLine("@0000002A;t;;" + std::string(60, 'b'));  // drops the named first line
  ASSERT_EQ(page.Count(), 1);
  EXPECT_EQ(page.At(0)->Job, "");
  page.AddLogLine("@0000002A;t;;c");
  EXPECT_EQ(page.At(page.Count() - 1)->Job, "0000002A") << "no line names a job any more";
}

TEST(LogPage, CellsCountCharactersNotBytes) {
  EXPECT_EQ(CellLength("Grüße"), 5);
  const LogLine broken = SplitLogLine("@only-a-job", nullptr);
  EXPECT_EQ(broken.Job, "only-a-job");
  EXPECT_EQ(broken.Time + broken.Error + broken.Text, "");
}

}  // namespace
}  // namespace mv
