#include "text/utf8_stream.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "testing/temp_project.h"

namespace {

using Lines = std::vector<std::string>;

// The reader takes the file in chunks of this many bytes.
constexpr std::size_t chunk = 1 << 16;

class Utf8LineReaderTest : public testing::Test {
 protected:
  // Write `bytes` to a file and read all its lines back through the reader.
  Lines readBack(const std::string& bytes) {
    writeBytes("in.ks", bytes);
    EXPECT_TRUE(reader.open("in.ks"));
    Lines lines;
    for (std::string line; reader.readLine(line);) lines.push_back(line);
    return lines;
  }

  TempProject project{false};
  Utf8LineReader reader;
};

}  // namespace

TEST_F(Utf8LineReaderTest, EndsLinesAtLfAndDropsCrOnlyBeforeIt) {
  EXPECT_EQ(readBack("a\r\nb\rc\r\n\r\nd\r\r\ne\r"),
            (Lines{"a", "b\rc", "", "d\r", "e\r"}));
  EXPECT_EQ(readBack("one\n"), Lines{"one"});  // a final LF adds no line
  EXPECT_EQ(readBack("\n\n"), (Lines{"", ""}));
  EXPECT_EQ(readBack(""), Lines{});
  EXPECT_FALSE(reader.stoppedAtBadBytes());
}

TEST_F(Utf8LineReaderTest, KeepsBytesAsTheyStand) {
  const std::string text = "\xE3\x81\x82[se]\xEF\xBB\xBF\xF0\x9F\x98\x80";
  const std::string nuls("\0x\0", 3);
  EXPECT_EQ(readBack(nuls + "\n" + text), (Lines{nuls, text}));
  EXPECT_FALSE(reader.stoppedAtBadBytes());
}

TEST_F(Utf8LineReaderTest, SkipsOneLeadingByteOrderMark) {
  struct Case {
    std::string bytes;
    bool skipped;
    Lines lines;
  };
  const Case cases[] = {
      {"\xEF\xBB\xBF[l]\n", true, {"[l]"}},
      {"\xEF\xBB\xBF\xEF\xBB\xBFx", true, {"\xEF\xBB\xBFx"}},
      {"\xEF\xBB\xBF", true, {}},
      {"x\xEF\xBB\xBF", false, {"x\xEF\xBB\xBF"}},
      {"ab", false, {"ab"}},
      {"", false, {}},
      {"\xEF\xBB", false, {}},  // cut off: bad bytes
  };
  for (const Case& c : cases) {
    writeBytes("in.ks", c.bytes);
    ASSERT_TRUE(reader.open("in.ks"));
    EXPECT_EQ(reader.skipByteOrderMark(), c.skipped) << c.bytes;
    Lines lines;
    for (std::string line; reader.readLine(line);) lines.push_back(line);
    EXPECT_EQ(lines, c.lines) << c.bytes;
  }
}

TEST_F(Utf8LineReaderTest, JoinsWhatChunkBoundariesSplit) {
  const std::string filler(chunk - 1, 'x');
  EXPECT_EQ(readBack(filler + "\r\ny"), (Lines{filler, "y"}));
  EXPECT_EQ(readBack(filler + "\rz"), Lines{filler + "\rz"});
  // A CR that ends the file exactly at the boundary has no LF to wait for.
  EXPECT_EQ(readBack(filler + "\r"), Lines{filler + "\r"});
  EXPECT_EQ(readBack(filler + "x\r\n"), Lines{filler + "x"});
  for (std::size_t before = 1; before <= 3; ++before) {
    const std::string text = std::string(chunk - before, 'x') +
                             "\xE3\x81\x82" "\xF0\x9F\x98\x80" "!";
    EXPECT_EQ(readBack(text), Lines{text}) << before;
    EXPECT_FALSE(reader.stoppedAtBadBytes()) << before;
  }
  const std::string longLine(3 * chunk + 5, 'y');
  EXPECT_EQ(readBack(longLine + "\nz"), (Lines{longLine, "z"}));
}

TEST_F(Utf8LineReaderTest, StopsAtBadBytesAndNamesTheirLine) {
  EXPECT_EQ(readBack("one\r\ntwo\nth\xFFree\nfour\n"), (Lines{"one", "two", "th"}));
  EXPECT_TRUE(reader.stoppedAtBadBytes());
  EXPECT_EQ(reader.badLine(), 3);
}

TEST_F(Utf8LineReaderTest, StopsAtEveryKindOfBadSequence) {
  struct Case {
    std::string bytes;
    Lines kept;
    long line;
  };
  const std::string filler(chunk - 1, 'x');
  const Case cases[] = {
      {"ok\n\xE3\x81", {"ok"}, 2},                  // cut off by the end of file
      {"\x82\xA0", {}, 1},                          // code page 932
      {"a\xC0\x80", {"a"}, 1},                      // overlong
      {"a\n\n\xED\xA0\x80", {"a", ""}, 3},           // encoded surrogate
      {"a\xF4\x90\x80\x80", {"a"}, 1},              // above U+10FFFF
      {"a\r\xFF", {"a\r"}, 1},                      // a CR before bad bytes stays
      {filler + "\xE3" "a", {filler}, 1},           // incomplete at the boundary
      {filler + "\r\xFF", {filler + "\r"}, 1},      // held-back CR, then bad
  };
  for (const Case& c : cases) {
    EXPECT_EQ(readBack(c.bytes), c.kept) << testing::PrintToString(c.bytes.substr(0, 20));
    EXPECT_TRUE(reader.stoppedAtBadBytes());
    EXPECT_EQ(reader.badLine(), c.line);
  }
}

TEST_F(Utf8LineReaderTest, CountsLinesOfEarlierChunksForBadLine) {
  std::string bytes;
  for (int i = 0; i < 20000; ++i) bytes += "line\r\n";  // about 120 KB
  const Lines lines = readBack(bytes + "bad\x80\nlost\n");
  EXPECT_EQ(lines.size(), 20001u);
  EXPECT_EQ(lines.back(), "bad");
  EXPECT_EQ(reader.badLine(), 20001);
}

TEST_F(Utf8LineReaderTest, ReopeningForgetsTheEarlierFile) {
  readBack("\xFF");
  ASSERT_TRUE(reader.stoppedAtBadBytes());
  writeBytes("other.ks", "fine\n");
  ASSERT_TRUE(reader.open("other.ks"));
  std::string line;
  EXPECT_TRUE(reader.readLine(line));
  EXPECT_EQ(line, "fine");
  EXPECT_FALSE(reader.stoppedAtBadBytes());
}

TEST_F(Utf8LineReaderTest, FolderOrMissingFileDoesNotOpen) {
  std::filesystem::create_directory("folder.ks");
  EXPECT_FALSE(reader.open("folder.ks"));
  EXPECT_FALSE(reader.is_open());
  EXPECT_FALSE(reader.open("missing.ks"));
  EXPECT_FALSE(reader.skipByteOrderMark());
  std::string line = "old";
  EXPECT_FALSE(reader.readLine(line));
  EXPECT_EQ(line, "");
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

TEST(Utf8FileWriter, KeepsOrderOfWideTextAndUtf8Bytes) {
  TempProject project(false);
  Utf8FileWriter out;
  ASSERT_TRUE(out.open("out.txt"));
  out << L"\u3042 " << 1;
  out.writeUtf8(" \xE3\x81\x84\n");
  out << L"end";
  if constexpr (sizeof(wchar_t) == 2) {
    out << static_cast<wchar_t>(0xD800);  // no second half follows
    out.writeUtf8("|");
  }
  ASSERT_TRUE(out.close());
  EXPECT_EQ(readBytes("out.txt"), sizeof(wchar_t) == 2
                                      ? "\xE3\x81\x82 1 \xE3\x81\x84\nend\xEF\xBF\xBD|"
                                      : "\xE3\x81\x82 1 \xE3\x81\x84\nend");
  out.writeUtf8("after the close");  // like <<, a write to a closed file fails
  EXPECT_TRUE(out.fail());
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

  Utf8FileWriter device;  // takes every write and keeps none
  EXPECT_FALSE(device.open(onWindows ? "NUL" : "/dev/null"));

  if (onWindows) GTEST_SKIP() << "a file-size limit is POSIX only";
  Utf8FileWriter full;
  ASSERT_TRUE(full.open("out.txt"));
  {
    FileSizeLimit limit(4);
    full << L"a line that the disk cannot take\n";
    EXPECT_FALSE(full.close());
  }
  EXPECT_TRUE(full.bad());
}
