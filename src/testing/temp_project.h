#pragma once

// Test helpers: a temporary project folder that the test enters and leaves,
// byte-exact file writers, and a runner for the real executable.

#include <ctime>
#include <filesystem>
#include <iostream>
#include <sstream>
#include <string>
#include <type_traits>

// True in the Windows build, where paths are UTF-16 and the narrow error
// stream is code page 932 in text mode.
inline constexpr bool onWindows =
    std::is_same_v<std::filesystem::path::value_type, wchar_t>;

// A fresh temporary folder, made the current working folder for the
// object's lifetime; removed (and the old working folder restored) after.
class TempProject {
 public:
  // Create the folder; with `withFolders`, also scenario/, sound/ and bgm/.
  explicit TempProject(bool withFolders = true);
  ~TempProject();
  TempProject(const TempProject&) = delete;
  TempProject& operator=(const TempProject&) = delete;

  const std::filesystem::path& root() const { return root_; }

 private:
  std::filesystem::path root_;
  std::filesystem::path previous_;
};

// Remove the test folder `root` with all it holds, never anything that a
// link in it points to; permissions that a test took away are given back
// first. Failures are ignored.
void removeTestFolder(const std::filesystem::path& root);

// Write `bytes` to `path` exactly (binary), creating parent folders.
void writeBytes(const std::filesystem::path& path, const std::string& bytes);

// Return the whole content of `path` as bytes; empty when it does not open.
std::string readBytes(const std::filesystem::path& path);

// How to start the tool. By default standard input is empty, both output
// streams are collected apart, and the runner waits as long as it takes.
struct RunOptions {
  // Stop the tool after this many seconds (0: no limit), so that a run that
  // hangs fails its test instead of stopping the suite.
  int timeLimitSeconds = 0;
  // Start the tool with these standard streams closed.
  bool closeStdin = false;
  bool closeStdout = false;
  bool closeStderr = false;
  // Send standard error where standard output goes, so that `out` shows the
  // order in which the tool wrote the two.
  bool errToOut = false;
  // Let no file of the tool grow past this many bytes (0: no limit), so that
  // its writes fail as on a full disk; the captured output counts too. POSIX
  // only: runTool raises on Windows, which has no such limit.
  long long fileSizeLimitBytes = 0;
};

// The result of running the tool once.
struct RunResult {
  int exitCode = -1;
  bool timedOut = false;  // stopped at the time limit
  std::string out;  // standard output bytes
  std::string err;  // standard error bytes
};

// Run the orvandel executable in the current working folder and collect its
// exit code and its output streams.
RunResult runTool(const RunOptions& options = {});

// Return `relative`, a path relative to the build folder of the tool and the
// tests, made usable from any working folder.
std::filesystem::path testDataPath(const std::filesystem::path& relative);

// Lets no file that this process, or a process it starts, writes grow past
// `bytes` while the object lives, with SIGXFSZ ignored, so that a write past
// it fails as on a full disk. POSIX only: raises std::runtime_error on
// Windows, which has no such limit.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(long long bytes);
  ~FileSizeLimit();
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  unsigned long long oldLimit_ = 0;
  void (*oldHandler_)(int) = nullptr;
};

// Create a FIFO (named pipe) at `path`. Raise std::runtime_error when that
// fails, as it always does on Windows, which has no FIFOs.
void makeFifo(const std::filesystem::path& path);

// Return the path of the one report file (tag_report_*.txt) in the current
// working folder, or an empty path when there is none.
std::filesystem::path findReport();

// Return the bytes that the tool's narrow standard error stream carries, when
// redirected, for the UTF-8 message `utf8`: the message itself on POSIX; on
// Windows code page 932 with CR LF line ends.
std::string narrowMessage(const std::string& utf8);

// Make `link` a symbolic link to `target` (a folder link when `folder`), as
// the user's own tools would. On Windows under Wine the host's `ln` makes it,
// since Wine's own call makes nothing. Return false, with the reason in
// `why`, when this platform cannot.
bool makeLink(const std::filesystem::path& target, const std::filesystem::path& link,
              bool folder, std::string& why);

// Return true when Windows tests run under Wine, which shows a symbolic link
// to a file as a plain file.
bool underWine();

// Return the report name that a run started at `t` computes.
std::string reportNameAt(std::time_t t);

// Collects what std::wcout receives while it lives, then puts the console
// back.
class ConsoleCapture {
 public:
  ConsoleCapture() : old_(std::wcout.rdbuf(&buf_)) { std::wcout.clear(); }
  ~ConsoleCapture() { std::wcout.rdbuf(old_); }
  ConsoleCapture(const ConsoleCapture&) = delete;
  ConsoleCapture& operator=(const ConsoleCapture&) = delete;
  std::wstring text() const { return buf_.str(); }

 private:
  std::wstringbuf buf_;
  std::wstreambuf* old_;
};
