#include "OutputFileCl.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <regex>

#include "BasicFn.h"
#include "support/TempFolder.h"

namespace pallix {
namespace {

namespace fs = std::filesystem;
using testing::ListFolder;
using testing::ReadFile;
using testing::TempFolder;
using testing::WriteFile;

TEST(OutputFile, CopyReplacesTheTargetOrLeavesItAlone) {
  TempFolder dir;
  std::string big(200000, '\0');
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7);
  WriteFile(dir / "src.bin", big);
  WriteFile(dir / "out/keep.bin", "old");
  ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
  fs::create_hard_link(dir / "src.bin", dir / "hard.bin");
  fs::create_symlink(dir / "src.bin", dir / "out/link.bin");
  struct Case {
    std::string source, target;
    TCopyResult result;
    std::string reason;
  } cases[] = {
      {dir / "src.bin", dir / "out/dst.bin", TCopyResult::Copied, ""},
      {dir / "missing.bin", dir / "out/keep.bin", TCopyResult::Failed, "No such file or directory"},
      {dir.Path(), dir / "out/keep.bin", TCopyResult::Failed, "not a regular file"},
      {dir / "fifo", dir / "out/keep.bin", TCopyResult::Failed, "not a regular file"},  // never waits
      {"/dev/zero", dir / "out/keep.bin", TCopyResult::Failed, "not a regular file"},   // never ends
      {dir / "src.bin", dir / "out/keep.bin/x", TCopyResult::Failed, "Not a directory"},
      // One file however spelled or linked: left as it is.
      {dir / "src.bin", dir / "out/../src.bin", TCopyResult::SameFile, ""},
      {dir / "hard.bin", dir / "src.bin", TCopyResult::SameFile, ""},
      {dir / "src.bin", dir / "out/link.bin", TCopyResult::SameFile, ""},
  };
  for (const Case& c : cases) {
    std::string reason;
    std::uint64_t size = 1;
    EXPECT_EQ(CopyToOutputFile(c.source, c.target, reason, size), c.result) << c.source << " " << c.target;
    EXPECT_EQ(reason, c.reason) << c.source;
    EXPECT_EQ(size, c.result == TCopyResult::Copied ? big.size() : 0u) << c.source;
  }
  EXPECT_EQ(ReadFile(dir / "out/dst.bin"), big);
  EXPECT_EQ(ReadFile(dir / "out/keep.bin"), "old");
  EXPECT_EQ(ReadFile(dir / "src.bin"), big);
  EXPECT_TRUE(fs::is_symlink(dir / "out/link.bin"));
  EXPECT_EQ(ListFolder(dir / "out"), "dst.bin keep.bin link.bin");
}

// Every output file has a temporary of its own, made beside it under a fresh short name:
// runs to one target never share bytes, and nothing planted there is written through.
TEST(OutputFile, TemporariesAreExclusiveAndShort) {
  TempFolder dir;
  const std::string target = dir / "out/x.mesh";
  WriteFile(dir / "outside", "keep");
  fs::create_directories(dir / "out");
  fs::create_symlink(dir / "outside", target + ".~pallix");
  {
    TOutputFile first(target);
    TOutputFile second(target);
    EXPECT_TRUE(std::regex_match(ListFolder(dir / "out"),
                                 std::regex("x\\.mesh\\.~pallix ~px[0-9a-z]{6}\\.tmp ~px[0-9a-z]{6}\\.tmp")))
        << ListFolder(dir / "out");
    first.Write(std::string(100000, 'a'));
    second.Write("second");
    first.Commit();
    EXPECT_EQ(ReadFile(target).size(), 100000u);
    second.Commit();
  }
  EXPECT_EQ(ReadFile(target), "second");
  EXPECT_EQ(ReadFile(dir / "outside"), "keep");
  { TOutputFile abandoned(target); }
  EXPECT_EQ(ListFolder(dir / "out"), "x.mesh x.mesh.~pallix");
}

TEST(OutputFile, LinksAndTheSystemsReasons) {
  TempFolder dir;
  WriteFile(dir / "real.mesh", "old");
  fs::create_symlink(dir / "real.mesh", dir / "link.mesh");
  fs::create_symlink("new.mesh", dir / "dangling.mesh");
  fs::create_symlink("loop2.mesh", dir / "loop1.mesh");
  fs::create_symlink("loop1.mesh", dir / "loop2.mesh");
  struct Case {
    std::string name;
    TOutputFile::Link link;
    std::string reason;   // empty: written
    std::string written;  // the file that holds the new bytes
  } cases[] = {
      {dir / "link.mesh", TOutputFile::Link::Follow, "", dir / "real.mesh"},
      {dir / "dangling.mesh", TOutputFile::Link::Follow, "", dir / "new.mesh"},
      {dir / "loop1.mesh", TOutputFile::Link::Follow, "Too many levels of symbolic links", ""},
      {dir / "no/such/x.mesh", TOutputFile::Link::Follow, "No such file or directory", ""},
      {dir / "link.mesh", TOutputFile::Link::Replace, "", dir / "link.mesh"},  // the link itself
  };
  for (const Case& c : cases) {
    try {
      TOutputFile file(c.name, c.link);
      file.Write("new");
      file.Commit();
      EXPECT_EQ(c.reason, "") << c.name;
      EXPECT_EQ(ReadFile(c.written), "new") << c.name;
    } catch (const Error& e) {
      EXPECT_EQ(std::string(e.what()), "Cannot create file " + c.name);
      EXPECT_EQ(e.Reason(), c.reason) << c.name;
    }
  }
  EXPECT_FALSE(fs::is_symlink(dir / "link.mesh"));  // the last case replaced it
  EXPECT_TRUE(fs::is_symlink(dir / "dangling.mesh"));
  EXPECT_EQ(ListFolder(dir.Path()), "dangling.mesh link.mesh loop1.mesh loop2.mesh new.mesh real.mesh");
}

}  // namespace
}  // namespace pallix
