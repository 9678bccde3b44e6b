#include "app/joblist.h"

#include <gtest/gtest.h>

#include "tests/support/tempdir.h"

namespace mv {
namespace {

// Writes down every announcement as text, in order.
struct Recorder : CoreObserver {
  std::vector<std::string> events;
  void JobAdded(int i) override { events.push_back("added " + std::to_string(i)); }
  void JobRemoved(int i) override { events.push_back("removed " + std::to_string(i)); }
  void JobChanged(int i) override { events.push_back("changed " + std::to_string(i)); }
  void ListSorted() override { events.push_back("sorted"); }
  void SelectionChanged(int i) override { events.push_back("selected " + std::to_string(i)); }
};

class JobListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    observers.Add(&rec);
    list.SetObservers(&observers);
  }
  TTFileThreadControl* Add(const std::string& name) {
    auto job = std::make_unique<TTFileThreadControl>(name, nullptr, tmp.path(), tmp.path(), nullptr,
                                                     JobDefaults{.DrawId = false});
    TTFileThreadControl* raw = job.get();
    list.AddJob(std::move(job));
    return raw;
  }
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (int32_t i = 0; i < list.Count(); ++i) names.push_back(list.JobAt(i)->Description);
    return names;
  }
  test::TempDir tmp;
  Recorder rec;
  ObserverList observers;
  JobList list;
};

TEST_F(JobListTest, ChangesAreAnnouncedInOrder) {
  Add("b");
  TTFileThreadControl* a = Add("a");
  list.NotifyChanged(a);
  list.Sort();
  (void)list.RemoveAt(1);
  list.Select(5);
  EXPECT_EQ(rec.events, (std::vector<std::string>{"added 0", "selected 0", "added 1", "selected 1",
                                                  "changed 1", "sorted", "selected 0", "removed 1",
                                                  "selected -1"}));
}

TEST_F(JobListTest, TimeColumnPutsTheLaterNextRunFirstAndTiesByName) {
  const struct {
    const char* name;
    DateTime next;
  } jobs[] = {{"early", 46000.25}, {"b-late", 46001.5}, {"A-late", 46001.5}, {"never", 0}};
  for (const auto& j : jobs) Add(j.name)->Schedule->NextRun = j.next;
  list.JobAt(0)->Schedule->Delay = 5;  // the delay does not count
  list.SetSortColumn(1);
  list.Sort();
  EXPECT_EQ(Names(), (std::vector<std::string>{"A-late", "b-late", "early", "never"}));
  EXPECT_EQ(list.JobAt(list.Selected())->Description, "never") << "the selection follows its job";
}

}  // namespace
}  // namespace mv
