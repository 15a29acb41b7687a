#include "export/eml_writer.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include "common/paths.hpp"

namespace edbx {
namespace {

TEST(EmlWriter, Base64) {
  struct Case {
    std::string in, out;
  } cases[] = {{"", ""}, {"a", "YQ=="}, {"ab", "YWI="}, {"abc", "YWJj"}, {std::string("\0\xFF\x10", 3), "AP8Q"}};
  for (const auto& c : cases) EXPECT_EQ(Base64Encode(c.in), c.out);
  const std::string big = Base64Encode(std::string(1 << 20, 'x'));
  EXPECT_EQ(big.size(), 4u * (((std::size_t{1} << 20) + 2) / 3));
  EXPECT_EQ(big.find_first_of("\r\n"), std::string::npos);
  EXPECT_EQ(BytesAsText(std::string("A\0\xE9", 3)), u"A\u00e9");
}

class Eml : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("edbx-eml-" + std::to_string(::getpid()));
    fs::create_directories(dir_);
    WriteWholeFile(dir_ / "textbody.txt", "Hi\r\n\xC3\xA9");
    WriteWholeFile(dir_ / "a.txt", "abc");
  }
  void TearDown() override { fs::remove_all(dir_); }
  fs::path dir_;
};

const std::string kHeaderBlock =
    "MIME-Version: 1.0\r\nContent-Type: multipart/mixed;\r\n\tboundary=\"----=_NextPart_000_000D_01C2A06C.7F8E75B0\"\r\n"
    "X-Priority: 3\r\nX-MSMail-Priority: Normal\r\nX-MimeOLE: Produced By Korvalis support@korvalis.example V0\r\n\r\n"
    "This is a multi-part message in MIME format.\r\n\r\n------=_NextPart_000_000D_01C2A06C.7F8E75B0\r\n";
const std::string kTextPart = "Content-Type: text/plain;\r\n\tcharset=\"utf-8\"\r\nContent-Transfer-Encoding: 7bit\r\n\r\n";

TEST_F(Eml, MailWithoutAttachments) {
  EmlFields f{u"Bob <bob@x.com>, ", u"Alice<alice@x.com>,Al,Carol<c@x.com>", u"Cc, One", u"", u"Jan,05 2010 14:03:59  ",
              u"Hello", u"txt", dir_ / "textbody.txt", u""};
  // The To piece after the last "," and pieces of 3 characters or fewer are dropped; the body
  // bytes are widened one by one, so "\xC3\xA9" comes out as two characters.
  EXPECT_EQ(EmlBytes(f), "From: Bob <bob@x.com>,\r\nTo: Alice<alice@x.com>,\r\nCc: Cc,One\r\n"
                         "Date: Jan,05 2010 14:03:59 UTC\r\nSubject: Hello\r\n" +
                             kHeaderBlock + kTextPart + "Hi\r\n\xC3\x83\xC2\xA9\r\n");
}

TEST_F(Eml, MailWithAttachmentsHasThePreambleTwice) {
  const u16 paths = FromPath(dir_ / "a.txt") + u";" + FromPath(dir_ / "missing.txt") + u";";
  EmlFields f{u"", u"", u"", u"", u"", u"", u"html", dir_ / "none.html", paths};
  EXPECT_EQ(EmlBytes(f), "Subject: \r\n" + kHeaderBlock +
                             "Content-Type: text/html;\r\n\tcharset=\"utf-8\"\r\nContent-Transfer-Encoding: 7bit\r\n\r\n"
                             "\r\n------=_NextPart_000_000D_01C2A06C.7F8E75B0\r\nThis is a multi-part message in MIME "
                             "format.\r\n------=_NextPart_000_000D_01C2A06C.7F8E75B0\r\n"
                             "Content-Type: application/octet-stream;\r\n\tName = \"a.txt\"\r\n"
                             "Content-Transfer-Encoding: base64\r\nContent-Disposition: attachment;\r\n"
                             "\tfilename= \"a.txt\"\r\n\r\nYWJj\r\n");
}

TEST_F(Eml, EdgeCases) {
  // Every To entry of 3 characters or fewer: the line is still written.
  EXPECT_EQ(EmlBytes({u"", u"ab,cd,", u"", u"", u"", u"s", u"txt", {}, u""}).substr(0, 18), "To: \r\nSubject: s\r\n");
  // An unknown kind word gives a body part without headers.
  const std::string odd = EmlBytes({u"", u"", u"", u"", u"", u"s", u"doc", dir_ / "textbody.txt", u""});
  EXPECT_NE(odd.find("------=_NextPart_000_000D_01C2A06C.7F8E75B0\r\nHi\r\n"), std::string::npos);
  // No header value can start a header of its own.
  const std::string injected = EmlBytes({u"a@x.com\r\nBcc: all@x.com", u"", u"", u"", u"", u"s\r\nX: y", u"txt", {}, u""});
  EXPECT_NE(injected.find("From: a@x.com  Bcc: all@x.com\r\nSubject: s  X: y\r\n"), std::string::npos);
}

TEST_F(Eml, WritesTheFile) {
  EXPECT_TRUE(WriteEml(dir_ / "k.eml", {u"", u"", u"", u"", u"", u"s", u"txt", {}, u""}));
  EXPECT_EQ(ReadWholeFile(dir_ / "k.eml")->substr(0, 11), "Subject: s\r");
  EXPECT_FALSE(WriteEml(dir_ / "no" / "k.eml", {}));
}

}  // namespace
}  // namespace edbx
