#include "platform/platform.h"

#include <csignal>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

void initConsole() {
  std::signal(SIGPIPE, SIG_IGN);
  // open() takes the lowest free descriptor: with 1 closed, the diagnostic
  // log would become standard output and receive the console lines.
  for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    const int nul = ::open("/dev/null", O_RDWR);
    if (nul < 0) return;  // no null device: nothing better to do
    if (nul != fd) {
      ::dup2(nul, fd);
      ::close(nul);
    }
  }
}

void writeConsole(int stream, std::string_view utf8) {
  const int fd = stream == 2 ? STDERR_FILENO : STDOUT_FILENO;
  while (!utf8.empty()) {
    const ssize_t written = ::write(fd, utf8.data(), utf8.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return;  // closed pipe, full disk: dropped
    utf8.remove_prefix(static_cast<std::size_t>(written));
  }
}

std::string toNarrowConsole(std::string_view utf8) { return std::string(utf8); }

void writeNarrowError(std::string_view utf8) {
  // std::cerr writes at once, while std::wcout keeps its lines until its
  // buffer fills: unflushed, they would come out after this message.
  std::wcout.flush();
  std::wcerr.flush();
  std::cerr << utf8;
}

bool localTime(std::time_t time, std::tm& local) {
  std::memset(&local, 0, sizeof local);
  return ::localtime_r(&time, &local) != nullptr;
}

bool isRegularFile(const std::filesystem::path& path) {
  // stat() follows links, so a link is judged by what it points to.
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool openForReading(std::filebuf& buf, const std::filesystem::path& path,
                    std::ios_base::openmode mode) {
  // Look before opening: opening a FIFO blocks until a writer comes, a
  // device such as /dev/zero never ends, and a folder opens but cannot be
  // read.
  if (!isRegularFile(path)) return false;
  return buf.open(path, mode | std::ios_base::in) != nullptr;
}

bool openForWriting(std::filebuf& buf, const std::filesystem::path& path,
                    std::ios_base::openmode mode) {
  // Look before opening, as for reading: opening a FIFO for writing blocks
  // until a reader comes, and a device takes the bytes somewhere else. A
  // dangling link counts as a free name, as open() follows it.
  struct stat info {};
  if (::stat(path.c_str(), &info) == 0 ? !S_ISREG(info.st_mode) : errno != ENOENT) {
    return false;
  }
  return buf.open(path, mode | std::ios_base::out) != nullptr;
}

bool isLink(const std::filesystem::directory_entry& entry) {
  // The directory walk caches the entry's own type, so this costs no call.
  return entry.is_symlink();
}

bool walksListLinkedFiles() { return true; }

std::optional<FileIdentity> fileIdentity(const std::filesystem::path& path,
                                         std::error_code& error, bool* regularFile) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) {
    // A file where a folder of the path was is as absent as a missing name.
    const int code = errno == ENOTDIR ? ENOENT : errno;
    error = std::error_code(code, std::generic_category());
    return std::nullopt;
  }
  error.clear();
  if (regularFile != nullptr) *regularFile = S_ISREG(info.st_mode);
  return FileIdentity{static_cast<std::uint64_t>(info.st_dev),
                      static_cast<std::uint64_t>(info.st_ino)};
}

}  // namespace platform
