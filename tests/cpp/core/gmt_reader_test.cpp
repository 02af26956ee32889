#include "quenfa/core/gmt_reader.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace quenfa {
namespace {

class GmtFile : public ::testing::Test {
 protected:
  std::string write(const std::string& content) {
    std::ofstream(path_, std::ios::binary) << content;
    return path_.string();
  }
  void TearDown() override { std::filesystem::remove(path_); }

  std::filesystem::path path_ = std::filesystem::temp_directory_path() /
                                ("quenfa_gmt_test_" + std::to_string(::getpid()) + ".gmt");
};

TEST_F(GmtFile, ReadsNamesDescriptionsAndTrimmedGenes) {
  auto db =
      read_gmt(write("P1\t\tG1\n"
                     "P2\tdesc\t G1 \t\tG2\t\n"
                     "P3 \tx\tG1\tG1\tB\r\n"
                     " \t \n"
                     "P4\td\t\xC2\xA0G9\xE3\x80\x80\t   "));
  ASSERT_TRUE(db.ok()) << db.error();
  const PathwayDb& p = db.value();
  ASSERT_EQ(p.size(), 4u);
  EXPECT_EQ(p[0].name, "P1");
  EXPECT_FALSE(p[0].description.has_value());
  EXPECT_EQ(p[0].genes, (std::vector<std::string>{"G1"}));
  EXPECT_EQ(p[1].description, "desc");
  EXPECT_EQ(p[1].genes, (std::vector<std::string>{"G1", "G2"}));
  EXPECT_EQ(p[2].name, "P3 ");                                         // the name is kept verbatim
  EXPECT_EQ(p[2].genes, (std::vector<std::string>{"G1", "G1", "B"}));  // "\r\n" accepted
  EXPECT_EQ(p[3].genes, (std::vector<std::string>{"G9"}));             // Unicode spaces trimmed
}

TEST_F(GmtFile, ReportsMalformedLinesByTheirNumberCountingBlankLines) {
  auto db = read_gmt(write("P1\td\tG1\n\n   \nP2\tonly two\nP3\td\tG\n"));
  ASSERT_FALSE(db.ok());
  EXPECT_EQ(db.error(), "Malformed GMT line 4: expected at least 3 tab-separated columns.");
}

TEST_F(GmtFile, EdgeFormsOfLinesAndFiles) {
  struct Case {
    std::string content;
    std::size_t pathways;
    std::string error;
  };
  const Case cases[] = {
      {"", 0, ""},
      {"\n\n\t\t\n", 0, ""},
      {"P\td\tG", 1, ""},     // no final newline
      {"P\td\t\t\n", 1, ""},  // a pathway with no genes
      {"\t\tG\n", 1, ""},     // an empty name
      {"P\td\tG\r", 1, ""},   // a lone "\r" without "\n" is part of a gene, then trimmed
      {"P\td\tG\n\xFF\tx\ty\n", 0, "stream did not contain valid UTF-8"},
      {"P\td\tG\nQ\tx", 0, "Malformed GMT line 2: expected at least 3 tab-separated columns."},
  };
  for (const Case& c : cases) {
    auto db = read_gmt(write(c.content));
    if (c.error.empty()) {
      ASSERT_TRUE(db.ok()) << db.error();
      EXPECT_EQ(db.value().size(), c.pathways);
    } else {
      ASSERT_FALSE(db.ok());
      EXPECT_EQ(db.error(), c.error);
    }
  }
}

TEST_F(GmtFile, LinesLongerThanTheReadBufferAreJoinedIntact) {
  std::string line = "BIG\tdesc";
  for (int i = 0; i < 5000; ++i) line += "\tGENE" + std::to_string(i);
  auto db = read_gmt(write("S\td\tA\n" + line + "\nT\td\tB\n"));
  ASSERT_TRUE(db.ok()) << db.error();
  ASSERT_EQ(db.value().size(), 3u);
  EXPECT_EQ(db.value()[1].genes.size(), 5000u);
  EXPECT_EQ(db.value()[1].genes.back(), "GENE4999");
  EXPECT_EQ(db.value()[2].name, "T");
}

TEST(GmtReaderErrors, ReportsOperatingSystemErrorsWithTheirCode) {
  auto missing = read_gmt("/nonexistent/quenfa/sets.gmt");
  ASSERT_FALSE(missing.ok());
  EXPECT_EQ(missing.error(), "No such file or directory (os error 2)");

  auto directory = read_gmt(std::filesystem::temp_directory_path().string());
  ASSERT_FALSE(directory.ok());
  EXPECT_EQ(directory.error(), "Is a directory (os error 21)");

  auto nul = read_gmt(std::string("sets\0.gmt", 9));
  ASSERT_FALSE(nul.ok());
  EXPECT_EQ(nul.error(), "file name contained an unexpected NUL byte");
}

}  // namespace
}  // namespace quenfa
