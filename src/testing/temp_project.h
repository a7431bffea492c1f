#pragma once

// Test helpers: a temporary project folder that the test enters and leaves,
// byte-exact file writers, and a runner for the real executable.

#include <ctime>
#include <filesystem>
#include <iostream>
#include <sstream>
#include <string>

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

// Write `bytes` to `path` exactly (binary), creating parent folders.
void writeBytes(const std::filesystem::path& path, const std::string& bytes);

// Return the whole content of `path` as bytes; empty when it does not open.
std::string readBytes(const std::filesystem::path& path);

// The result of running the tool once.
struct RunResult {
  int exitCode = -1;
  std::string out;  // standard output bytes
  std::string err;  // standard error bytes
};

// Run the orvandel executable in the current working folder, with the null
// device as standard input, and collect its exit code and both output
// streams.
RunResult runTool();

// Return `relative`, a path relative to the build folder of the tool and the
// tests, made usable from any working folder.
std::filesystem::path testDataPath(const std::filesystem::path& relative);

// Return the path of the one report file (tag_report_*.txt) in the current
// working folder, or an empty path when there is none.
std::filesystem::path findReport();

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
