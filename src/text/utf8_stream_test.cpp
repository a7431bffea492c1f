#include "text/utf8_stream.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <istream>
#include <iterator>
#include <string>
#include <vector>

#include "testing/temp_project.h"

namespace {

// The reader takes the file in chunks of this many bytes.
constexpr std::size_t chunk = 1 << 16;

class Utf8FileReaderTest : public testing::Test {
 protected:
  // Write `bytes` to a file and read it back whole through the reader.
  std::wstring readBack(const std::string& bytes) {
    reader.close();
    writeBytes("in.ks", bytes);
    EXPECT_TRUE(reader.open("in.ks"));
    std::wistream in(&reader);
    return std::wstring(std::istreambuf_iterator<wchar_t>(in),
                        std::istreambuf_iterator<wchar_t>());
  }

  TempProject project{false};
  Utf8FileReader reader;
};

std::wstring widen(const std::string& ascii) {
  return std::wstring(ascii.begin(), ascii.end());
}

}  // namespace

TEST_F(Utf8FileReaderTest, DropsCrOnlyBeforeLf) {
  EXPECT_EQ(readBack("a\r\nb\rc\r\n\r\nd\r\r\ne\r"), L"a\nb\rc\n\nd\r\ne\r");
  EXPECT_FALSE(reader.stoppedAtBadBytes());
}

TEST_F(Utf8FileReaderTest, DecodesUtf8AndKeepsByteOrderMark) {
  EXPECT_EQ(readBack("\xEF\xBB\xBF\xE3\x81\x82\n[se]\xEF\xBB\xBF"),
            L"\uFEFF\u3042\n[se]\uFEFF");
  EXPECT_EQ(readBack(""), L"");
  EXPECT_FALSE(reader.stoppedAtBadBytes());
}

TEST_F(Utf8FileReaderTest, JoinsCrLfAcrossChunkBoundary) {
  const std::string filler(chunk - 1, 'x');
  EXPECT_EQ(readBack(filler + "\r\ny"), widen(filler + "\ny"));
  EXPECT_EQ(readBack(filler + "\rz"), widen(filler + "\rz"));
  // A CR that ends the file exactly at the boundary has no LF to wait for.
  EXPECT_EQ(readBack(filler + "\r"), widen(filler + "\r"));
  EXPECT_EQ(readBack(filler + "x\r\n"), widen(filler + "x\n"));
}

TEST_F(Utf8FileReaderTest, DecodesCharacterSplitAcrossChunkBoundary) {
  for (std::size_t before = 1; before <= 3; ++before) {
    const std::string filler(chunk - before, 'x');
    const std::wstring text = readBack(filler + "\xE3\x81\x82" "\xF0\x9F\x98\x80" "!");
    EXPECT_EQ(text.substr(0, filler.size()), widen(filler));
    EXPECT_EQ(text.substr(filler.size(), 1), L"\u3042") << before;
    EXPECT_EQ(text.back(), L'!') << before;
    EXPECT_FALSE(reader.stoppedAtBadBytes()) << before;
  }
}

TEST_F(Utf8FileReaderTest, StopsAtBadBytesAndNamesTheirLine) {
  writeBytes("in.ks", "one\r\ntwo\nth\xFFree\nfour\n");
  ASSERT_TRUE(reader.open("in.ks"));
  std::wistream in(&reader);
  std::vector<std::wstring> lines;
  for (std::wstring line; std::getline(in, line);) lines.push_back(line);
  EXPECT_EQ(lines, (std::vector<std::wstring>{L"one", L"two", L"th"}));
  EXPECT_TRUE(reader.stoppedAtBadBytes());
  EXPECT_EQ(reader.badLine(), 3);
}

TEST_F(Utf8FileReaderTest, StopsAtEveryKindOfBadSequence) {
  struct Case {
    std::string bytes;
    std::wstring kept;
    long line;
  };
  const std::string filler(chunk - 1, 'x');
  const Case cases[] = {
      {"ok\n\xE3\x81", L"ok\n", 2},                  // cut off by the end of file
      {"\x82\xA0", L"", 1},                          // code page 932
      {"a\xC0\x80", L"a", 1},                        // overlong
      {"a\n\n\xED\xA0\x80", L"a\n\n", 3},            // encoded surrogate
      {"a\r\xFF", L"a\r", 1},                        // a CR before bad bytes stays
      {filler + "\xE3" "a", widen(filler), 1},       // incomplete at the boundary
      {filler + "\r\xFF", widen(filler + "\r"), 1},  // held-back CR, then bad
  };
  for (const Case& c : cases) {
    EXPECT_EQ(readBack(c.bytes), c.kept) << testing::PrintToString(c.bytes.substr(0, 20));
    EXPECT_TRUE(reader.stoppedAtBadBytes());
    EXPECT_EQ(reader.badLine(), c.line);
  }
}

TEST_F(Utf8FileReaderTest, CountsLinesOfEarlierChunksForBadLine) {
  std::string bytes;
  for (int i = 0; i < 20000; ++i) bytes += "line\r\n";  // about 120 KB
  const std::wstring text = readBack(bytes + "bad\x80\nlost\n");
  EXPECT_EQ(text.size(), 20000u * 5 + 3);
  EXPECT_EQ(reader.badLine(), 20001);
}

TEST_F(Utf8FileReaderTest, ReopeningForgetsEarlierBadBytes) {
  readBack("\xFF");
  ASSERT_TRUE(reader.stoppedAtBadBytes());
  EXPECT_EQ(readBack("fine\n"), L"fine\n");
  EXPECT_FALSE(reader.stoppedAtBadBytes());
}

TEST_F(Utf8FileReaderTest, FolderOrMissingFileDoesNotOpen) {
  std::filesystem::create_directory("folder.ks");
  EXPECT_FALSE(reader.open("folder.ks"));
  EXPECT_FALSE(reader.is_open());
  EXPECT_FALSE(reader.open("missing.ks"));
  std::wistream in(&reader);
  EXPECT_EQ(in.peek(), std::char_traits<wchar_t>::eof());
}

TEST(Utf8FileWriter, WritesUtf8WithLfLineEnds) {
  TempProject project(false);
  Utf8FileWriter out;
  ASSERT_TRUE(out.open("out.txt"));
  out << L"\uFEFFa\n\u3042 " << 42 << L"\n";
  if constexpr (sizeof(wchar_t) == 4) {
    out << static_cast<wchar_t>(0x1F600) << static_cast<wchar_t>(0xD800) << L"|\n";
  } else {
    out << L"\xD83D\xDE00" << static_cast<wchar_t>(0xD800) << L"|\n";
  }
  EXPECT_TRUE(out.close());
  EXPECT_FALSE(out.is_open());
  // One bad value is replaced; the rest of its line survives.
  EXPECT_EQ(readBytes("out.txt"),
            "\xEF\xBB\xBF" "a\n\xE3\x81\x82 42\n\xF0\x9F\x98\x80\xEF\xBF\xBD|\n");
}

TEST(Utf8FileWriter, KeepsTextLongerThanItsBuffer) {
  TempProject project(false);
  std::wstring text;
  std::string expected;
  for (int i = 0; i < 100000; ++i) {
    text += i % 7 == 0 ? L"\u3042" : L"b";
    expected += i % 7 == 0 ? "\xE3\x81\x82" : "b";
  }
  {
    Utf8FileWriter out;
    ASSERT_TRUE(out.open("out.txt"));
    out << text;
  }  // closed by the destructor
  EXPECT_EQ(readBytes("out.txt"), expected);
}

TEST(Utf8FileWriter, TruncatesExistingFile) {
  TempProject project(false);
  writeBytes("out.txt", "an older and longer content");
  Utf8FileWriter out;
  ASSERT_TRUE(out.open("out.txt"));
  out << L"new";
  ASSERT_TRUE(out.close());
  EXPECT_EQ(readBytes("out.txt"), "new");
}

TEST(Utf8FileWriter, ReportsFilesThatFailToOpenOrWrite) {
  TempProject project(false);
  Utf8FileWriter missing;
  EXPECT_FALSE(missing.open("no/such/folder/out.txt"));
  EXPECT_FALSE(missing.is_open());
  EXPECT_TRUE(missing.fail());
  EXPECT_FALSE(missing.close());

  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  Utf8FileWriter full;
  ASSERT_TRUE(full.open("/dev/full"));
  full << L"a line that the device cannot take\n";
  EXPECT_FALSE(full.close());
  EXPECT_TRUE(full.bad());
}
