#include "platform/platform.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <iostream>
#include <system_error>
#include <vector>

namespace platform {

namespace {

std::wstring widen(std::string_view utf8) {
  if (utf8.empty()) return {};
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(),
                                    static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
  if (n > 0) {
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()),
                        wide.data(), n);
  }
  return wide;
}

// The handle of standard output (1) or standard error (2) when it is a
// console, else null.
HANDLE consoleHandle(int stream) {
  HANDLE handle = GetStdHandle(stream == 2 ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
  if (handle == INVALID_HANDLE_VALUE || handle == nullptr) return nullptr;
  DWORD mode = 0;
  return GetConsoleMode(handle, &mode) ? handle : nullptr;
}

// A console takes UTF-16 whatever its code page.
void writeConsoleText(HANDLE console, std::string_view utf8) {
  const std::wstring wide = widen(utf8);
  DWORD written = 0;
  WriteConsoleW(console, wide.data(), static_cast<DWORD>(wide.size()), &written,
                nullptr);
}

}  // namespace

void initConsole() {
  // A stream that the caller left without a handle makes every write to it
  // fail, and a failed write silences std::cerr for the rest of the run.
  constexpr DWORD stdHandles[] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE,
                                  STD_ERROR_HANDLE};
  for (int fd = 0; fd < 3; ++fd) {
    const HANDLE current = GetStdHandle(stdHandles[fd]);
    if (current != nullptr && current != INVALID_HANDLE_VALUE &&
        _get_osfhandle(fd) >= 0) {
      continue;
    }
    const int nul = _wopen(L"NUL", _O_RDWR | _O_BINARY);
    if (nul < 0) return;
    if (nul != fd) {
      _dup2(nul, fd);
      _close(nul);
    }
    const intptr_t handle = _get_osfhandle(fd);
    if (handle >= 0) SetStdHandle(stdHandles[fd], reinterpret_cast<HANDLE>(handle));
  }
}

void writeConsole(int stream, std::string_view utf8) {
  if (HANDLE console = consoleHandle(stream)) {
    writeConsoleText(console, utf8);
    return;
  }
  HANDLE handle = GetStdHandle(stream == 2 ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
  if (handle == INVALID_HANDLE_VALUE || handle == nullptr) return;
  // Redirected, the bytes go out as they are: UTF-8 with LF, as on POSIX.
  while (!utf8.empty()) {
    DWORD written = 0;
    const auto size = static_cast<DWORD>(std::min<std::size_t>(utf8.size(), 1u << 20));
    if (!WriteFile(handle, utf8.data(), size, &written, nullptr) || written == 0) {
      return;
    }
    utf8.remove_prefix(written);
  }
}

std::string toNarrowConsole(std::string_view utf8) {
  const std::wstring wide = widen(utf8);
  if (wide.empty()) return {};
  const int n = WideCharToMultiByte(932, 0, wide.data(),
                                    static_cast<int>(wide.size()), nullptr, 0,
                                    nullptr, nullptr);
  std::string narrow(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
  if (n > 0) {
    WideCharToMultiByte(932, 0, wide.data(), static_cast<int>(wide.size()),
                        narrow.data(), n, nullptr, nullptr);
  }
  return narrow;
}

void writeNarrowError(std::string_view utf8) {
  // std::cerr and the console write at once, while std::wcout keeps its
  // lines until its buffer fills: unflushed, they would come out after this.
  std::wcout.flush();
  std::wcerr.flush();
  if (HANDLE console = consoleHandle(2)) {
    std::cerr.flush();
    writeConsoleText(console, utf8);
    return;
  }
  std::cerr << toNarrowConsole(utf8);
}

bool localTime(std::time_t time, std::tm& local) {
  if (localtime_s(&local, &time) == 0) return true;
  local = std::tm{};  // localtime_s leaves -1 in every field
  return false;
}

namespace {

enum class Found { diskFile, other, nothing };

// Say what stands at `path`, links followed. A handle without data access
// reads nothing and waits for nothing; with backup semantics it opens a
// folder too, so that a folder, a pipe or a device (CON, NUL, COM1) is told
// from a disk file.
Found lookAt(const std::filesystem::path& path) {
  const HANDLE handle =
      CreateFileW(path.c_str(), 0,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    return GetLastError() == ERROR_FILE_NOT_FOUND ? Found::nothing : Found::other;
  }
  BY_HANDLE_FILE_INFORMATION info{};
  const bool isDiskFile =
      GetFileType(handle) == FILE_TYPE_DISK &&
      GetFileInformationByHandle(handle, &info) != 0 &&
      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
  CloseHandle(handle);
  return isDiskFile ? Found::diskFile : Found::other;
}

}  // namespace

bool isRegularFile(const std::filesystem::path& path) {
  return lookAt(path) == Found::diskFile;
}

bool openForReading(std::filebuf& buf, const std::filesystem::path& path,
                    std::ios_base::openmode mode) {
  // Look before opening: a pipe or a device must never be read.
  if (!isRegularFile(path)) return false;
  return buf.open(path, mode | std::ios_base::in) != nullptr;
}

bool openForWriting(std::filebuf& buf, const std::filesystem::path& path,
                    std::ios_base::openmode mode) {
  // Look before opening, as for reading: a pipe or a device is refused here
  // rather than written. Only a name that is not there yet is created.
  if (lookAt(path) == Found::other) return false;
  return buf.open(path, mode | std::ios_base::out) != nullptr;
}

bool isLink(const std::filesystem::directory_entry& entry) {
  // The standard library here knows no links, and its walk would enter a
  // linked folder. Symbolic links and junctions are reparse points whose tag
  // names another file; other reparse points (files of cloud storage not yet
  // downloaded, deduplicated files) stand for themselves. Wine gives no tag.
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW(entry.path().c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) {
    throw std::filesystem::filesystem_error(
        "cannot read attributes", entry.path(),
        std::error_code(static_cast<int>(GetLastError()), std::system_category()));
  }
  FindClose(find);
  if ((data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) return false;
  const DWORD tag = data.dwReserved0;
  return tag == 0 || IsReparseTagNameSurrogate(tag);
}

bool walksListLinkedFiles() { return false; }

std::optional<FileIdentity> fileIdentity(const std::filesystem::path& path,
                                         std::error_code& error, bool* regularFile) {
  // The link itself, not what it names; backup semantics open a folder too.
  const HANDLE handle = CreateFileW(
      path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
      nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD code = GetLastError();
    error = code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND
                ? std::make_error_code(std::errc::no_such_file_or_directory)
                : std::error_code(static_cast<int>(code), std::system_category());
    return std::nullopt;
  }
  BY_HANDLE_FILE_INFORMATION info{};
  const bool ok = GetFileInformationByHandle(handle, &info) != 0;
  const DWORD code = GetLastError();
  const bool onDisk = GetFileType(handle) == FILE_TYPE_DISK;
  CloseHandle(handle);
  if (!ok) {
    error = std::error_code(static_cast<int>(code), std::system_category());
    return std::nullopt;
  }
  error.clear();
  if (regularFile != nullptr) {
    constexpr DWORD notAFile =
        FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE;
    *regularFile = onDisk && (info.dwFileAttributes & notAFile) == 0;
  }
  return FileIdentity{info.dwVolumeSerialNumber,
                      (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) |
                          info.nFileIndexLow};
}

}  // namespace platform
