#include "platform/temp_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <filesystem>
#include <regex>
#include <string>
#include <thread>
#include "support/files.h"


namespace quarn {
namespace {

namespace fs = std::filesystem;

mode_t PermissionsOf(const std::string& path) {
  struct stat info {};
  EXPECT_EQ(stat(path.c_str(), &info), 0) << path;
  return info.st_mode & 07777;
}

// Number of entries in a directory whose names look like our temporaries.
int CountTemporaries(const fs::path& dir) {
  int count = 0;
  for (const auto& entry : fs::directory_iterator(dir)) {
    if (entry.path().filename().string().rfind("qx", 0) == 0) ++count;
  }
  return count;
}

class TempFileTest : public ::testing::Test {
 protected:
  std::string Path(const std::string& name) const { return m_dir.File(name); }
  fs::path Dir() const { return m_dir.Path(); }

  // A temporary beside the files of this test, filled with `bytes` and closed.
  std::string MakeTemporary(const std::string& bytes) {
    std::optional<TempSibling> temp = CreateTempSibling(m_dir.Path());
    EXPECT_TRUE(temp.has_value());
    if (!temp) return std::string();
    EXPECT_EQ(write(temp->fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    close(temp->fd);
    return temp->path;
  }

 private:
  test::TempDir m_dir;
};

TEST_F(TempFileTest, CreatesAnEmptyPrivateFileWithOurPattern) {
  std::optional<TempSibling> temp = CreateTempSibling(Dir().string());
  ASSERT_TRUE(temp.has_value());
  EXPECT_GE(temp->fd, 0);
  EXPECT_TRUE(
      std::regex_match(temp->path, std::regex(Dir().string() + R"(/qx[A-Za-z0-9]{6}\.pdf)")))
      << temp->path;
  EXPECT_EQ(fs::file_size(temp->path), 0u);
  EXPECT_EQ(PermissionsOf(temp->path), 0600u);
  EXPECT_EQ(write(temp->fd, "abc", 3), 3);
  close(temp->fd);
  EXPECT_EQ(test::ReadFile(temp->path), "abc");
}

TEST_F(TempFileTest, NamesNeverRepeat) {
  std::optional<TempSibling> first = CreateTempSibling(Dir().string() + "/");
  std::optional<TempSibling> second = CreateTempSibling(Dir().string() + "/");
  ASSERT_TRUE(first && second);
  EXPECT_NE(first->path, second->path);
  // A directory kept with its trailing slash gets no second one.
  EXPECT_EQ(first->path.find("//"), std::string::npos);
  close(first->fd);
  close(second->fd);
}

TEST_F(TempFileTest, EmptyDirectoryMeansTheCurrentOne) {
  const fs::path previous = fs::current_path();
  fs::current_path(Dir());
  std::optional<TempSibling> temp = CreateTempSibling("");
  fs::current_path(previous);
  ASSERT_TRUE(temp.has_value());
  EXPECT_EQ(temp->path.rfind("./qx", 0), 0u) << temp->path;
  close(temp->fd);
  EXPECT_EQ(CountTemporaries(Dir()), 1);
}

TEST_F(TempFileTest, MissingDirectoryFails) {
  errno = 0;
  EXPECT_FALSE(CreateTempSibling(Path("no/such/dir")).has_value());
  EXPECT_EQ(errno, ENOENT);
}

TEST_F(TempFileTest, ReplaceMovesTheNewContentOverTheTarget) {
  const std::string target = Path("doc.pdf");
  test::WriteFile(target, "old document");
  const std::string temp = MakeTemporary("new document");
  ASSERT_TRUE(ReplaceFileAtomically(temp, target));
  EXPECT_EQ(test::ReadFile(target), "new document");
  EXPECT_FALSE(fs::exists(temp));
  EXPECT_EQ(CountTemporaries(Dir()), 0);
}

TEST_F(TempFileTest, ReplaceKeepsTheTargetPermissions) {
  const std::string target = Path("doc.pdf");
  test::WriteFile(target, "old");
  ASSERT_EQ(chmod(target.c_str(), 0644), 0);
  ASSERT_TRUE(ReplaceFileAtomically(MakeTemporary("new"), target));
  EXPECT_EQ(PermissionsOf(target), 0644u);
}

TEST_F(TempFileTest, ReplaceCreatesAMissingTarget) {
  const std::string target = Path("fresh.pdf");
  ASSERT_TRUE(ReplaceFileAtomically(MakeTemporary("content"), target));
  EXPECT_EQ(test::ReadFile(target), "content");
  EXPECT_EQ(CountTemporaries(Dir()), 0);
}

TEST_F(TempFileTest, FailedReplaceLeavesTargetAndRemovesTemporary) {
  // A non-empty directory cannot be renamed over.
  const std::string target = Path("busy");
  fs::create_directory(target);
  test::WriteFile(target + "/inside.txt", "kept");
  const std::string temp = MakeTemporary("new");
  errno = 0;
  EXPECT_FALSE(ReplaceFileAtomically(temp, target));
  EXPECT_NE(errno, 0);
  EXPECT_FALSE(fs::exists(temp));
  EXPECT_EQ(test::ReadFile(target + "/inside.txt"), "kept");
  EXPECT_EQ(CountTemporaries(Dir()), 0);
}

TEST_F(TempFileTest, FailedReplaceIntoMissingDirectoryRemovesTemporary) {
  const std::string temp = MakeTemporary("new");
  EXPECT_FALSE(ReplaceFileAtomically(temp, Path("gone/doc.pdf")));
  EXPECT_EQ(errno, ENOENT);
  EXPECT_FALSE(fs::exists(temp));
}

TEST_F(TempFileTest, MissingTemporaryLeavesTargetAlone) {
  const std::string target = Path("doc.pdf");
  test::WriteFile(target, "old document");
  EXPECT_FALSE(ReplaceFileAtomically(Path("qxNOSUCH.pdf"), target));
  EXPECT_EQ(errno, ENOENT);
  EXPECT_EQ(test::ReadFile(target), "old document");
}

// A reader that keeps opening the target while it is replaced again and again must always find
// a whole document: the old one or the new one, never no file and never a mix.
TEST_F(TempFileTest, ReadersSeeEitherTheOldOrTheNewDocument) {
  const std::string target = Path("doc.pdf");
  const std::string first(4096, 'a');
  const std::string second(8192, 'b');
  test::WriteFile(target, first);
  std::atomic<bool> done{false};
  std::atomic<int> reads{0};
  std::atomic<int> bad{0};
  std::thread reader([&] {
    while (!done.load()) {
      const int fd = open(target.c_str(), O_RDONLY);
      if (fd < 0) {
        ++bad;
        continue;
      }
      std::string text;
      char buffer[4096];
      for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;) text.append(buffer, n);
      close(fd);
      if (text != first && text != second) ++bad;
      ++reads;
    }
  });
  for (int round = 0; round < 60; ++round) {
    const std::string temp = MakeTemporary(round % 2 ? first : second);
    ASSERT_TRUE(ReplaceFileAtomically(temp, target));
  }
  done = true;
  reader.join();
  EXPECT_EQ(bad.load(), 0);
  EXPECT_GT(reads.load(), 0);
  EXPECT_EQ(test::ReadFile(target), first);
  EXPECT_EQ(CountTemporaries(Dir()), 0);
}

TEST_F(TempFileTest, RemoveFile) {
  const std::string path = Path("gone.pdf");
  test::WriteFile(path, "x");
  EXPECT_TRUE(RemoveFile(path));
  EXPECT_FALSE(fs::exists(path));
  EXPECT_FALSE(RemoveFile(path));
  EXPECT_EQ(errno, ENOENT);
}

TEST_F(TempFileTest, FileExistsIgnoresOneTrailingSlash) {
  const std::string file = Path("a.pdf");
  test::WriteFile(file, "x");
  EXPECT_TRUE(FileExists(file));
  EXPECT_TRUE(FileExists(file + "/"));
  EXPECT_FALSE(FileExists(file + "//"));
  EXPECT_TRUE(FileExists(Dir().string()));
  EXPECT_TRUE(FileExists(Dir().string() + "/"));
  EXPECT_TRUE(FileExists("/"));
  EXPECT_FALSE(FileExists(Path("missing.pdf")));
  EXPECT_FALSE(FileExists(""));
}

TEST(DirectoryOfTest, TakesEverythingBeforeTheLastSlash) {
  EXPECT_EQ(DirectoryOf("a.pdf"), ".");
  EXPECT_EQ(DirectoryOf(""), ".");
  EXPECT_EQ(DirectoryOf("/a.pdf"), "/");
  EXPECT_EQ(DirectoryOf("dir/a.pdf"), "dir");
  EXPECT_EQ(DirectoryOf("/x/y/z.pdf"), "/x/y");
  EXPECT_EQ(DirectoryOf("dir/"), "dir");
  EXPECT_EQ(DirectoryOf("./a.pdf"), ".");
}

}  // namespace
}  // namespace quarn
