#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <regex>
#include <thread>

#include "quenfa/decor/cache_file.hpp"
#include "quenfa/decor/file_digest.hpp"
#include "support/fixtures.hpp"

namespace quenfa::decor {
namespace {

using test_support::read_bytes;
using test_support::ScratchDir;
using test_support::write_bytes;
using test_support::write_gzip;

const std::string kGmtDigest(64, 'a');
const std::string kExprDigest(64, 'b');

DecorCacheMetadata sample_metadata(std::uint64_t n_pathways, std::uint64_t n_rows) {
  return {"quenfa-decor-cache",
          "1",
          "quenfa",
          kGmtDigest,
          kExprDigest,
          DecorCorrelation::Pearson,
          DecorRedundancy::AbsMean,
          "rows",
          true,
          "verbatim",
          n_pathways,
          n_rows};
}

DecorCache sample_cache() {
  DecorCache cache;
  cache.metadata = sample_metadata(4, 3);
  cache.pathways["b"] = {{"G3"}, {1.0f}};
  cache.pathways["B"] = {{"G1", "G2"}, {0.5f, 1.0f / 512}};
  return cache;
}

const std::string kSampleMetadataText =
    "# quenfa_decor_cache_format=quenfa-decor-cache\n"
    "# quenfa_decor_cache_version=1\n"
    "# created_by=quenfa\n"
    "# gmt_sha256=" +
    kGmtDigest +
    "\n"
    "# expression_sha256=" +
    kExprDigest +
    "\n"
    "# correlation=pearson\n"
    "# redundancy=abs_mean\n"
    "# expression_gene_axis=rows\n"
    "# expression_has_header=true\n"
    "# gene_id_mode=verbatim\n"
    "# n_pathways=4\n";

const std::string kSampleText = kSampleMetadataText +
                                "# n_rows=3\n"
                                "pathway\tgene\tredundancy\n"
                                "B\tG1\t0.50000000\n"
                                "B\tG2\t0.00195312\n"
                                "b\tG3\t1.00000000\n";

// A large cache for the crash and write-failure tests (about 9 MB of text).
DecorCache large_cache(float score) {
  DecorCache cache;
  cache.metadata = sample_metadata(400, 400 * 800);
  for (int p = 0; p < 400; ++p) {
    DecorPathwayScores& s = cache.pathways["GO:" + std::to_string(1000000 + p)];
    for (int g = 0; g < 800; ++g) {
      s.genes.push_back("GENE" + std::to_string(g));
      s.redundancy.push_back(score);
    }
  }
  return cache;
}

bool no_temporary_files(const ScratchDir& dir) {
  for (const auto& entry : std::filesystem::recursive_directory_iterator(dir.path())) {
    if (entry.path().filename().string().find(".tmp.") != std::string::npos) return false;
  }
  return true;
}

TEST(DecorFileDigest, HexDigestOfBytesAcrossChunks) {
  ScratchDir dir;
  write_bytes(dir / "abc", "abc");
  write_bytes(dir / "empty", "");
  write_bytes(dir / "million", std::string(1000000, 'a'));
  EXPECT_EQ(file_sha256(dir / "abc").value(),
            "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(file_sha256(dir / "empty").value(),
            "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(file_sha256(dir / "million").value(),
            "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
  EXPECT_EQ(file_sha256(dir / "missing").error(), "Failed to open '" + (dir / "missing") + "'");
  EXPECT_EQ(file_sha256(dir.path().string()).error(),
            "Failed to read '" + dir.path().string() + "'");
}

TEST(DecorCacheWrite, LayoutIsExactAndReadsBackEqual) {
  ScratchDir dir;
  const DecorCache cache = sample_cache();
  ASSERT_TRUE(write_decor_cache_atomic(dir / "c.tsv", cache));
  EXPECT_EQ(read_bytes(dir / "c.tsv"), kSampleText);
  DecorCache expected = cache;
  expected.pathways["B"].redundancy[1] = 0.00195312f;  // as its 8-decimal text reads back
  EXPECT_EQ(read_decor_cache(dir / "c.tsv").value(), expected);
}

TEST(DecorCacheWrite, GzipMemberIsDeterministicAndDecompressesToTheText) {
  ScratchDir dir;
  const DecorCache cache = large_cache(0.25f);
  ASSERT_TRUE(write_decor_cache_atomic(dir / "one.tsv.gz", cache));
  ASSERT_TRUE(write_decor_cache_atomic(dir / "two.tsv.gz", cache));
  ASSERT_TRUE(write_decor_cache_atomic(dir / "plain.tsv", cache));
  const std::string gz = read_bytes(dir / "one.tsv.gz");
  EXPECT_EQ(gz, read_bytes(dir / "two.tsv.gz"));
  // Magic, deflate, no flags, modification time 0, extra flags 0, OS 255.
  EXPECT_EQ(gz.substr(0, 10), std::string("\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\xff", 10));
  EXPECT_EQ(read_decor_cache(dir / "one.tsv.gz").value(),
            read_decor_cache(dir / "plain.tsv").value());
  // The extension of the target decides: ".GZ" is plain text.
  ASSERT_TRUE(write_decor_cache_atomic(dir / "upper.GZ", sample_cache()));
  EXPECT_EQ(read_bytes(dir / "upper.GZ"), kSampleText);
}

TEST(DecorCacheRead, LenientLayoutsAndTheirFailures) {
  const std::string rows = "pathway\tgene\tredundancy\nB\tG1\t0.5\n";
  struct Case {
    std::string text;
    std::string error;  // empty: reads as the sample with 2 rows
  };
  const std::string meta2 = kSampleMetadataText + "# n_rows=2\n";
  const auto without = [&](const std::string& key) {
    std::string m = meta2;
    const std::size_t at = m.find("# " + key + "=");
    return m.erase(at, m.find('\n', at) + 1 - at);
  };
  const auto with = [&](const std::string& key, const std::string& value) {
    return without(key) + "# " + key + "=" + value + "\n";
  };
  const Case cases[] = {
      // Metadata after the header, CR LF ends, blank lines, blanks around
      // key, = and value, a # line without =, a later key replacing one.
      {rows + "\r\n  \n#   n_rows  =  7 \r\n#comment\nB\tG2\t1\r\n" + without("n_rows") +
           "# n_rows = 2\n",
       ""},
      {meta2 + "pathway gene redundancy\n",
       "decor cache is missing required pathway/gene/redundancy header"},
      {meta2, "decor cache is missing tabular header"},
      {meta2 + "\n" + rows + "B\tG2\t0.5\textra\n",
       "Malformed decor cache line 16: expected pathway, gene, redundancy"},
      {meta2 + rows + "B\tG2\n",
       "Malformed decor cache line 15: expected pathway, gene, redundancy"},
      {meta2 + rows + "B\tG2\tnan\n", "decor cache line 15 has non-finite redundancy"},
      {meta2 + rows + "B\tG2\t-Infinity\n", "decor cache line 15 has non-finite redundancy"},
      {meta2 + rows + "B\tG2\t1e39\n", "decor cache line 15 has non-finite redundancy"},
      {meta2 + rows + "B\tG2\t0.5 \n", "Failed to parse redundancy '0.5 ' on cache line 15"},
      {meta2 + rows + "B\tG2\tNA\n", "Failed to parse redundancy 'NA' on cache line 15"},
      {meta2 + rows + "B\tG2\t\n", "Failed to parse redundancy '' on cache line 15"},
      {meta2 + rows + "B\tG2\t0x1p-1\n", "Failed to parse redundancy '0x1p-1' on cache line 15"},
      {meta2 + rows + "B\t\xff\t0.5\n", "stream did not contain valid UTF-8"},
      {with("n_rows", "10") + rows + "B\tG2\t0.5\n",
       "decor cache row count metadata mismatch: metadata=10, observed=2"},
      {with("n_pathways", "99") + rows + "B\tG2\t0.5\n", ""},
      {with("n_rows", "+2") + rows + "B\tG2\t0.5\n", ""},
      {without("gene_id_mode") + rows, "decor cache is missing metadata key: gene_id_mode"},
      {without("n_rows") + rows, "decor cache is missing metadata key: n_rows"},
      {with("correlation", "kendall") + rows,
       "unsupported decor correlation in cache metadata: kendall"},
      {with("redundancy", "Abs_Mean") + rows,
       "unsupported decor redundancy in cache metadata: Abs_Mean"},
      {with("expression_has_header", "yes") + rows, "provided string was not `true` or `false`"},
      {with("n_pathways", "") + rows, "cannot parse integer from empty string"},
      {with("n_pathways", "-1") + rows, "invalid digit found in string"},
      {with("n_rows", "99999999999999999999") + rows, "number too large to fit in target type"},
      // The first absent key in table order is reported; a bad value of an
      // earlier key comes before an absent later key.
      {without("created_by") + rows, "decor cache is missing metadata key: created_by"},
      {std::regex_replace(without("n_rows"), std::regex("correlation=pearson"), "correlation=x") +
           rows,
       "unsupported decor correlation in cache metadata: x"},
  };
  ScratchDir dir;
  for (const Case& c : cases) {
    write_bytes(dir / "c.tsv", c.text);
    const auto cache = read_decor_cache(dir / "c.tsv");
    if (c.error.empty()) {
      ASSERT_TRUE(cache) << cache.error() << "\n" << c.text;
      EXPECT_EQ(cache.value().pathways.at("B").genes, (std::vector<std::string>{"G1", "G2"}));
      EXPECT_EQ(cache.value().metadata.redundancy, DecorRedundancy::AbsMean);
    } else {
      ASSERT_FALSE(cache) << c.text;
      EXPECT_EQ(cache.error(), c.error) << c.text;
    }
  }
}

TEST(DecorCacheRead, ScoresAreClampedAndGzipIsChosenByExtension) {
  ScratchDir dir;
  const std::string text = kSampleMetadataText + "# n_rows=3\npathway\tgene\tredundancy\n" +
                           "P\tA\t-0.5\nP\tB\t1.7\nP\tC\t1e-50\n";
  write_bytes(dir / "c.tsv", text);
  write_gzip(dir / "c.tsv.gz", text);
  write_gzip(dir / "c.tsv.GZ", text);
  const auto plain = read_decor_cache(dir / "c.tsv");
  ASSERT_TRUE(plain) << plain.error();
  EXPECT_EQ(plain.value().pathways.at("P").redundancy, (std::vector<float>{0, 1, 0}));
  EXPECT_EQ(read_decor_cache(dir / "c.tsv.gz").value(), plain.value());
  EXPECT_FALSE(read_decor_cache(dir / "c.tsv.GZ"));
  EXPECT_EQ(read_decor_cache(dir / "none.gz").error(),
            "Failed to open '" + (dir / "none.gz") + "'");
  const std::string gz = read_bytes(dir / "c.tsv.gz");
  write_bytes(dir / "cut.gz", gz.substr(0, gz.size() / 2));
  EXPECT_FALSE(read_decor_cache(dir / "cut.gz"));
  // Concatenated members are read whole.
  write_gzip(dir / "part1.gz", text.substr(0, 100));
  write_gzip(dir / "part2.gz", text.substr(100));
  write_bytes(dir / "joined.gz", read_bytes(dir / "part1.gz") + read_bytes(dir / "part2.gz"));
  EXPECT_EQ(read_decor_cache(dir / "joined.gz").value(), plain.value());
}

TEST(DecorCacheCompatibility, ReasonsInOrderAndTheMessage) {
  const DecorCacheMetadata good = sample_metadata(1, 1);
  DecorCacheCompatibility required;
  required.gmt_sha256 = kGmtDigest;
  required.expression_sha256 = kExprDigest;
  required.redundancy = DecorRedundancy::AbsMean;
  EXPECT_TRUE(validate_decor_cache(good, required).empty());

  DecorCacheMetadata bad = good;
  bad.format = "other";
  bad.version = "2";
  bad.gmt_sha256 = "x";
  bad.expression_sha256 = "y";
  bad.correlation = DecorCorrelation::Spearman;
  bad.redundancy = DecorRedundancy::PositiveMean;
  bad.expression_gene_axis = "columns";
  bad.expression_has_header = false;
  bad.gene_id_mode = "upper";
  EXPECT_EQ(validate_decor_cache(bad, required),
            (std::vector<std::string>{
                "cache format differs: cache=other",
                "cache format version is unsupported: cache=2",
                "GMT SHA256 differs",
                "expression SHA256 differs",
                "correlation method differs: cache=spearman, requested=pearson",
                "redundancy mode differs: cache=positive_mean, requested=abs_mean",
                "expression gene axis differs: cache=columns, requested=rows",
                "expression header setting differs: cache=false, requested=true",
                "gene ID mode differs: cache=upper, requested=verbatim",
            }));
  // Without a required expression digest any stored one fits.
  required.expression_sha256.reset();
  DecorCacheMetadata other_expression = good;
  other_expression.expression_sha256 = "z";
  EXPECT_TRUE(validate_decor_cache(other_expression, required).empty());

  EXPECT_EQ(incompatible_message({"GMT SHA256 differs"}, false),
            "Decor cache is incompatible:\n  - GMT SHA256 differs\nProvide --decor-expression or "
            "use --decor-cache-mode rebuild to rebuild it.");
  EXPECT_EQ(incompatible_message({"a", "b"}, true),
            "Decor cache is incompatible:\n  - a\n  - b\nUse --decor-cache-mode rebuild with "
            "--decor-expression to rebuild it.");
}

TEST(DecorCacheWrite, DirectoriesTemporaryNamesAndFailures) {
  ScratchDir dir;
  const std::string nested = dir / "a/b/c.tsv";
  ASSERT_TRUE(write_decor_cache_atomic(nested, sample_cache()));
  EXPECT_EQ(read_bytes(nested), kSampleText);
  EXPECT_TRUE(no_temporary_files(dir));

  write_bytes(dir / "file", "x");
  EXPECT_EQ(write_decor_cache_atomic(dir / "file/c.tsv", sample_cache()).error(),
            "Failed to create cache directory '" + (dir / "file") + "'");

  // The temporary name is taken by a directory: creation fails and the
  // directory is left alone.
  const std::string blocked = dir / ("blocked.tsv.tmp." + std::to_string(getpid()));
  std::filesystem::create_directory(blocked);
  EXPECT_EQ(write_decor_cache_atomic(dir / "blocked.tsv", sample_cache()).error(),
            "Failed to create '" + blocked + "'");
  EXPECT_TRUE(std::filesystem::is_directory(blocked));
  std::filesystem::remove(blocked);

  // The target is a non-empty directory: the rename fails, nothing remains.
  std::filesystem::create_directories(dir / "target/inner");
  const std::string temporary = dir / ("target.tmp." + std::to_string(getpid()));
  EXPECT_EQ(write_decor_cache_atomic(dir / "target", sample_cache()).error(),
            "Failed to rename temporary cache '" + temporary + "' to '" + (dir / "target") + "'");
  EXPECT_TRUE(no_temporary_files(dir));
}

TEST(DecorCacheWrite, PathwayNamedLikeMetadataIsRefusedAndNothingIsWritten) {
  ScratchDir dir;
  DecorCache cache = sample_cache();
  cache.pathways["#n_rows=5"] = {{"G9"}, {0.5f}};
  EXPECT_EQ(write_decor_cache_atomic(dir / "sub/c.tsv", cache).error(),
            "decor cache cannot store pathway '#n_rows=5': a name beginning with # would read "
            "back as a metadata line");
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

// Runs `body` in a child process and returns its exit status.
template <class Body>
int in_child(Body body) {
  const pid_t pid = fork();
  if (pid == 0) _exit(body());
  int status = 0;
  waitpid(pid, &status, 0);
  return status;
}

TEST(DecorCacheWrite, FailedWriteKeepsTheOldFileAndLeavesNoTemporary) {
  ScratchDir dir;
  const std::string path = dir / "c.tsv";
  ASSERT_TRUE(write_decor_cache_atomic(path, sample_cache()));
  // A file size limit makes the write fail part way (EFBIG instead of SIGXFSZ).
  const int status = in_child([&] {
    signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{64 * 1024, 64 * 1024};
    setrlimit(RLIMIT_FSIZE, &limit);
    const Status st = write_decor_cache_atomic(path, large_cache(0.5f));
    if (st || st.error() != "File too large (os error 27)") return 1;
    return 0;
  });
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(read_bytes(path), kSampleText);
  EXPECT_TRUE(no_temporary_files(dir));
}

TEST(DecorCacheWrite, KilledWriterLeavesTheOldOrTheNewFileWhole) {
  for (const char* name : {"c.tsv", "c.tsv.gz"}) {
    ScratchDir dir;
    const std::string path = dir / name;
    ASSERT_TRUE(write_decor_cache_atomic(path, large_cache(0.25f)));
    const std::string old_bytes = read_bytes(path);
    ASSERT_TRUE(write_decor_cache_atomic(dir / (std::string("new.") + name), large_cache(0.75f)));
    const std::string new_bytes = read_bytes(dir / (std::string("new.") + name));
    std::filesystem::remove(dir / (std::string("new.") + name));

    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(write_decor_cache_atomic(dir / "timing", large_cache(0.75f)));
    const auto duration = std::chrono::steady_clock::now() - start;
    std::filesystem::remove(dir / "timing");

    std::mt19937 random(12345);
    int saw_old = 0, saw_new = 0;
    for (int trial = 0; trial < 8; ++trial) {
      ASSERT_TRUE(write_decor_cache_atomic(path, large_cache(0.25f)));
      const pid_t pid = fork();
      if (pid == 0) _exit(write_decor_cache_atomic(path, large_cache(0.75f)) ? 0 : 1);
      // Kill moments spread over (and a little beyond) one write.
      const auto delay = std::chrono::duration_cast<std::chrono::microseconds>(
          duration * (std::uniform_real_distribution<double>(0, 1.3)(random)));
      std::this_thread::sleep_for(delay);
      kill(pid, SIGKILL);
      int status = 0;
      waitpid(pid, &status, 0);
      const std::string now = read_bytes(path);
      ASSERT_TRUE(now == old_bytes || now == new_bytes) << name << " trial " << trial;
      (now == old_bytes ? saw_old : saw_new) += 1;
    }
    std::printf("%s: old file %d times, new file %d times\n", name, saw_old, saw_new);
  }
}

}  // namespace
}  // namespace quenfa::decor
