#include "common/paths.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace edbx {
namespace {

TEST(Paths, CleanAttachmentNameKeepsEveryNameInsideTheFolder) {
  struct Case {
    u16 in;
    u16 out;
  };
  const Case cases[] = {
      {u"report.pdf", u"report.pdf"},
      {u"a/b:c?d*e<f>g|h\"i\\j", u"a_b_c_d_e_f_g_h_i_j"},
      {u"../x", u".._x"},
      {u"/etc/passwd", u"_etc_passwd"},
      {u"", u"_"},
      {u".", u"_"},
      {u"..", u"_"},
      {u"a\nb\x01", u"a_b_"},
      {u"caf\u00e9.txt", u"caf\u00e9.txt"},
  };
  const fs::path folder = "/work/Vestra";
  for (const auto& c : cases) {
    const u16 cleaned = CleanAttachmentName(c.in);
    EXPECT_EQ(cleaned, c.out);
    const auto path = FileInFolder(folder, cleaned);
    ASSERT_TRUE(path.has_value());
    EXPECT_EQ(path->parent_path(), folder);
  }
}

TEST(Paths, LongNamesAreShortenedKeepingTheExtension) {
  const u16 name = u16(400, u'x') + u".pdf";
  const u16 cleaned = CleanAttachmentName(name);
  EXPECT_LE(utf16_to_utf8(cleaned).size(), 200u);
  EXPECT_TRUE(cleaned.ends_with(u".pdf"));
}

TEST(Paths, FileInFolderRefusesSeparatorsAndDots) {
  EXPECT_FALSE(FileInFolder("/w", u"a/b").has_value());
  EXPECT_FALSE(FileInFolder("/w", u"..").has_value());
  EXPECT_FALSE(FileInFolder("/w", u"").has_value());
}

TEST(Paths, WritesNeverFollowAPlantedLink) {
  const fs::path dir = fs::temp_directory_path() / ("edbx-paths-" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  const fs::path victim = dir / "victim";
  ASSERT_TRUE(WriteWholeFile(victim, "keep"));
  fs::create_symlink(victim, dir / "header.html");
  EXPECT_FALSE(WriteWholeFile(dir / "header.html", "overwritten"));
  EXPECT_EQ(ReadWholeFile(victim).value(), "keep");
  fs::remove_all(dir);
}

TEST(Paths, RewrittenFileKeepsNothingOfItsLongerPredecessor) {
  const fs::path dir = fs::temp_directory_path() / ("edbx-rewrite-" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  const fs::path file = dir / "m_S7d.txt";
  for (const std::string text : {"Subject: a long first header\r\n", "To: b\r\n", ""}) {
    FileHandle f(OpenForRewrite(file));
    ASSERT_TRUE(f);
    ASSERT_TRUE(f.write(text));
    ASSERT_TRUE(f.close_truncated());
    EXPECT_EQ(ReadWholeFile(file).value(), text);
  }
  fs::create_symlink(dir / "victim", dir / "link");
  EXPECT_EQ(OpenForRewrite(dir / "link"), nullptr);
  EXPECT_FALSE(fs::exists(dir / "victim"));
  fs::remove_all(dir);
}

TEST(Paths, PrivateWorkBaseIsOwnedAndClosed) {
  const auto base = PrivateWorkBase();
  ASSERT_TRUE(base.has_value());
  struct stat st {};
  ASSERT_EQ(::lstat(base->c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  EXPECT_EQ(st.st_mode & 077, 0u);
}

}  // namespace
}  // namespace edbx
