// The scan's guards against exhausted memory, made to fail by an allocator
// that refuses large blocks on request.

#include "audit/scan.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <iostream>
#include <new>
#include <sstream>
#include <string>

#include "testing/temp_project.h"
#include "text/utf8_stream.h"

namespace {

// Blocks of at least this many bytes are refused while it is not zero.
std::size_t refuseFrom = 0;

void* allocate(std::size_t size) noexcept {
  if (refuseFrom != 0 && size >= refuseFrom) return nullptr;
  return std::malloc(size == 0 ? 1 : size);
}

}  // namespace

// Replaced for the whole test binary; they behave as the standard ones
// while refuseFrom is zero.
void* operator new(std::size_t size) {
  if (void* p = allocate(size)) return p;
  throw std::bad_alloc();
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return allocate(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }

TEST(ScanGuards, ATagGivenUpForLackOfMemoryLeavesTheScanIncomplete) {
  // A line of 1 MB holds one tag. Each row refuses blocks from a size that
  // only one step of that tag asks for: the tag's log line (composed in a
  // string that doubles to 2 MB at its last append) or the storage value's
  // wide key (4 bytes a character on POSIX). The tag it gives up may name a
  // file in use.
  struct Case {
    const char* what;
    std::size_t refuseFrom;
    const char* logLine;  // the guard's line in the log
  };
  const Case cases[] = {
      {"nothing refused", 0, nullptr},
      {"the tag's log line", 1'500'000, "[ERROR] タグ変換エラー: main.ks 行 1 ("},
      {"the storage check", 3'000'000, "[ERROR] 正規表現検索エラー (playse/se): main.ks 行 1 ("},
  };
  const std::string value(1'000'000, 'v');
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (sizeof(wchar_t) == 2 && c.refuseFrom == 3'000'000) {
      std::cout << "[ SKIPPED  ] " << c.what
                << ": a wide key of 2 bytes a character is no larger than the log line\n";
      continue;
    }
    TempProject project;
    writeBytes("scenario/main.ks", "[playse storage=\"" + value + "\"]\n[l]\n");
    AuditState state;
    Utf8FileWriter report;
    Utf8FileWriter log;
    ASSERT_TRUE(report.open("report.txt"));
    ASSERT_TRUE(log.open("log.txt"));
    {
      ConsoleCapture console;
      std::wstringbuf errors;
      std::wstreambuf* const oldErrors = std::wcerr.rdbuf(&errors);
      refuseFrom = c.refuseFrom;
      scanScenarioFiles({"main.ks"}, true, "scenario", state, report, log);
      refuseFrom = 0;
      std::wcerr.rdbuf(oldErrors);
    }
    report.close();
    log.close();
    const bool refused = c.logLine != nullptr;
    EXPECT_EQ(state.scanComplete, !refused);
    if (refused) {
      EXPECT_NE(readBytes("log.txt").find(c.logLine), std::string::npos);
    }
    // Given up, the tag is not judged; the next one still is.
    EXPECT_EQ(state.issues.size(), refused ? 0u : 1u);
    EXPECT_NE(readBytes("report.txt").find("main.ks (行 2): [l]\n"), std::string::npos);
  }
}
