// What the template chooser offers.

#include "app/templatelist.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/tempdir.h"

namespace mv {
namespace {

TEST(TemplateList, OnlyTemplatesWithADescriptionTrimmed) {
  test::TempDir dir;
  dir.Write("MVT/b.MVT", "[template]\r\ndescription=  Backup  \r\n");
  dir.Write("MVT/a.mvt", "[template]\r\ndescription=Archive\r\n");
  dir.Write("MVT/blank.MVT", "[template]\r\ndescription=   \r\n");
  dir.Write("MVT/none.MVT", "[job]\r\ndescription=Not a template description\r\n");
  dir.Write("MVT/other.txt", "[template]\r\ndescription=Text\r\n");
  std::filesystem::create_directories(dir / "MVT/folder.MVT");
  const auto list = ListTemplates(dir / "MVT");
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].Description, "Archive");
  EXPECT_EQ(list[0].Path, dir / "MVT/a.mvt");
  EXPECT_EQ(list[1].Description, "Backup");
  EXPECT_TRUE(ListTemplates(dir / "missing").empty());
}

}  // namespace
}  // namespace mv
