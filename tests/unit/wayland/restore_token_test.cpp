// The portal's token file: what is read back from it, and how it is written.
#include "platform/wayland/restore_token.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace teclix::wayland {
namespace {

namespace fs = std::filesystem;

class TokenFile : public testing::Test {
protected:
  void SetUp() override {
    char name[] = "/tmp/teclix-token-XXXXXX";
    dir_ = mkdtemp(name);
    path_ = dir_ + "/state/teclix/restore-token";
  }
  void TearDown() override { fs::remove_all(dir_); }
  void put(const std::string &where, const std::string &text) {
    fs::create_directories(fs::path(where).parent_path());
    std::ofstream(where) << text;
  }
  static unsigned mode(const std::string &p) {
    struct stat info {};
    stat(p.c_str(), &info);
    return info.st_mode & 0777;
  }
  std::string dir_, path_;
};

TEST_F(TokenFile, WhatIsReadBack) {
  const struct {
    const char *text, *token;
  } cases[] = {
      {"3f2504e0-4f89-11d3-9a0c-0305e82c3301\n", "3f2504e0-4f89-11d3-9a0c-0305e82c3301"},
      {"token-1", "token-1"},
      {"", ""},
      {"two words\n", ""},
      {"../../etc/passwd\n", ""},
      {"line\nand more\n", ""},
      {"\xff\xfe binary", ""},
  };
  for (const auto &c : cases) {
    put(path_, c.text);
    EXPECT_EQ(read_restore_token(path_), c.token) << c.text;
  }
  put(path_, std::string(300, 'a')); // no portal's token is that long
  EXPECT_EQ(read_restore_token(path_), "");
  fs::remove(path_);
  EXPECT_EQ(read_restore_token(path_), "");
  // A link is not followed: the token is the user's own file or nothing.
  put(dir_ + "/elsewhere", "token-2\n");
  fs::create_symlink(dir_ + "/elsewhere", path_);
  EXPECT_EQ(read_restore_token(path_), "");
}

TEST_F(TokenFile, WrittenOwnerOnlyInDirectoriesMadeForIt) {
  std::string why;
  ASSERT_TRUE(write_restore_token(path_, "token-3", why)) << why;
  EXPECT_EQ(read_restore_token(path_), "token-3");
  EXPECT_EQ(mode(path_), 0600u);
  EXPECT_EQ(mode(fs::path(path_).parent_path()), 0700u);
  ASSERT_TRUE(write_restore_token(path_, "token-4", why)) << why;
  EXPECT_EQ(read_restore_token(path_), "token-4");
  EXPECT_FALSE(fs::exists(path_ + ".new"));
}

TEST_F(TokenFile, ALeftoverNewFileIsReplacedNotFollowed) {
  put(dir_ + "/victim", "keep me");
  fs::create_directories(fs::path(path_).parent_path());
  fs::create_symlink(dir_ + "/victim", path_ + ".new");
  std::string why;
  ASSERT_TRUE(write_restore_token(path_, "token-5", why)) << why;
  EXPECT_EQ(read_restore_token(path_), "token-5");
  std::ifstream victim(dir_ + "/victim");
  std::string text;
  std::getline(victim, text);
  EXPECT_EQ(text, "keep me");
}

// A missing or unwritable ~/.local is one case: the reason is said, nothing written.
TEST_F(TokenFile, APathThatCannotBeMadeIsSaid) {
  put(dir_ + "/state", "a file where a directory should be");
  std::string why;
  EXPECT_FALSE(write_restore_token(path_, "token-7", why));
  EXPECT_NE(why.find("/state"), std::string::npos) << why;
}

} // namespace
} // namespace teclix::wayland
