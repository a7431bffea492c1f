#include "testing/temp_project.h"

#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

#include "platform/platform.h"

TempProject::TempProject(bool withFolders) : previous_(std::filesystem::current_path()) {
  std::random_device rd;
  const auto base = std::filesystem::temp_directory_path();
  for (int attempt = 0;; ++attempt) {
    root_ = base / ("orvandel_test_" + std::to_string(rd()));
    if (std::filesystem::create_directory(root_)) break;
    if (attempt > 100) throw std::runtime_error("no temporary folder");
  }
  if (withFolders) {
    for (const char* name : {"scenario", "sound", "bgm"}) {
      std::filesystem::create_directory(root_ / name);
    }
  }
  std::filesystem::current_path(root_);
}

TempProject::~TempProject() {
  std::error_code ec;
  std::filesystem::current_path(previous_, ec);
  removeTestFolder(root_);
}

void writeBytes(const std::filesystem::path& path, const std::string& bytes) {
  if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

std::string readBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::filesystem::path findReport() {
  for (const auto& entry : std::filesystem::directory_iterator(".")) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("tag_report_", 0) == 0 && entry.path().extension() == ".txt") {
      return entry.path();
    }
  }
  return {};
}

std::string reportNameAt(std::time_t t) {
  std::tm local{};
  platform::localTime(t, local);
  char name[64];
  std::strftime(name, sizeof name, "tag_report_%Y%m%d_%H%M%S.txt", &local);
  return name;
}

std::string narrowMessage(const std::string& utf8) {
  const std::string narrow = platform::toNarrowConsole(utf8);
  if constexpr (!onWindows) return narrow;
  std::string lines;
  for (const char c : narrow) {
    if (c == '\n') lines += '\r';
    lines += c;
  }
  return lines;
}
