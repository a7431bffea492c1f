#pragma once

// The few operations that differ between POSIX and Windows. Everything here
// speaks bytes and standard types; nothing else from src/ is needed.

#include <compare>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

namespace platform {

// Prepare the process for console output. Call once at start, before any
// file is opened: each standard stream (0, 1, 2) that the caller left
// closed is opened on the null device, so that no file of the run takes its
// place; a broken console must never stop a run (on POSIX, SIGPIPE is
// ignored).
void initConsole();

// Write UTF-8 bytes to standard output (1) or standard error (2). Failures
// are ignored: a console that went away is not a reason to stop.
void writeConsole(int stream, std::string_view utf8);

// Return a UTF-8 message in the encoding that the narrow standard error
// stream carries when it is not a console: unchanged on POSIX, code page 932
// on Windows.
std::string toNarrowConsole(std::string_view utf8);

// Write a UTF-8 message to the narrow standard error stream (std::cerr), in
// the form of toNarrowConsole. On Windows a console gets the text through
// WriteConsoleW instead, readable whatever its code page. What std::wcout and
// std::wcerr hold is flushed first, so the console keeps the order of writing.
void writeNarrowError(std::string_view utf8);

// Convert a calendar time into local calendar fields. Return false when the
// conversion fails; `local` is then all zero.
bool localTime(std::time_t time, std::tm& local);

// Return true when `path`, after following links, is a regular file: not a
// folder, FIFO, device or socket on POSIX; a disk file that is no folder on
// Windows. Opens nothing that could block. False when it cannot be examined.
bool isRegularFile(const std::filesystem::path& path);

// Open `buf` on `path` for reading. Fail at once (return false, leave `buf`
// closed) when `path`, after following links, is not a regular file: a
// folder, FIFO, device or socket on POSIX; anything but a disk file on
// Windows. Such a path never blocks and is never read.
bool openForReading(std::filebuf& buf, const std::filesystem::path& path,
                    std::ios_base::openmode mode);

// Open `buf` on `path` for writing, where the name is free (the file is
// created) or names a regular file after following links. Fail at once
// (return false, leave `buf` closed) for anything else: a folder, FIFO,
// device or socket on POSIX; anything but a disk file on Windows; a name
// that cannot be looked at. Such a path never blocks and is never written.
bool openForWriting(std::filebuf& buf, const std::filesystem::path& path,
                    std::ios_base::openmode mode);

// Return true when `entry` is itself a link, without following it: a
// symbolic link on POSIX; on Windows a reparse point that names another file
// (symbolic link or junction; one without a tag counts too). A walk must not enter a folder behind such an entry. Raises
// std::filesystem::filesystem_error when the entry cannot be examined.
bool isLink(const std::filesystem::directory_entry& entry);

// Return true where the standard library sees through a link to a file
// (POSIX), so that a walk lists such a link as the file behind it. On Windows
// it does not, and a walk skips every link, listing none as a file.
bool walksListLinkedFiles();

// What tells one file from another whatever its name: the device and inode
// number on POSIX, the volume serial number and file index on Windows. Two
// names with one identity are one file (a hard link, a bind mount, or a name
// that Windows shortens, such as a folder "a." for "a").
struct FileIdentity {
  std::uint64_t volume = 0;
  std::uint64_t file = 0;
  friend auto operator<=>(const FileIdentity&, const FileIdentity&) = default;
};

// Return the identity of what stands at `path` itself, a final link not
// followed (at most one status call), and, given `regularFile`, set it to
// whether that is a regular file: not a link, folder, FIFO, device or socket.
// Return nothing when it cannot be taken; `error` then says why, equal to
// std::errc::no_such_file_or_directory when nothing stands there.
std::optional<FileIdentity> fileIdentity(const std::filesystem::path& path,
                                         std::error_code& error,
                                         bool* regularFile = nullptr);

}  // namespace platform
