#include "testing/temp_project.h"

#include <cerrno>
#include <csignal>
#include <exception>
#include <optional>
#include <random>
#include <stdexcept>
#include <string>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Run `command` with /bin/sh, as std::system does, and return its wait
// status. A `fileSizeLimit` holds for the shell and the tool alone.
int runShell(const std::string& command, long long fileSizeLimit) {
  const pid_t pid = ::fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    std::optional<FileSizeLimit> limit;  // exec keeps it for the shell
    try {
      if (fileSizeLimit > 0) limit.emplace(fileSizeLimit);
    } catch (const std::exception&) {
      ::_exit(126);
    }
    ::execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) throw std::runtime_error("waitpid failed");
  }
  return status;
}

}  // namespace

FileSizeLimit::FileSizeLimit(long long bytes) {
  rlimit limit{};
  if (::getrlimit(RLIMIT_FSIZE, &limit) != 0) throw std::runtime_error("getrlimit failed");
  oldLimit_ = limit.rlim_cur;
  limit.rlim_cur = static_cast<rlim_t>(bytes);
  if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) throw std::runtime_error("setrlimit failed");
  // Writes past the limit then fail with EFBIG instead of ending the process.
  oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
}

FileSizeLimit::~FileSizeLimit() {
  rlimit limit{};
  ::getrlimit(RLIMIT_FSIZE, &limit);
  limit.rlim_cur = static_cast<rlim_t>(oldLimit_);
  ::setrlimit(RLIMIT_FSIZE, &limit);
  std::signal(SIGXFSZ, oldHandler_);
}

RunResult runTool(const RunOptions& options) {
  const auto outPath = std::filesystem::temp_directory_path() /
                       ("orvandel_out_" + std::to_string(std::random_device{}()));
  const auto errPath = outPath.string() + ".err";
  std::string command;
  if (options.timeLimitSeconds > 0) {
    // TERM at the limit (exit status 124), KILL two seconds later (137).
    command = "timeout -k 2 " + std::to_string(options.timeLimitSeconds) + " ";
  }
  command += std::string("'") + ORVANDEL_EXE + "'";
  command += options.closeStdin ? " <&-" : " </dev/null";
  command += options.closeStdout ? " >&-" : " >'" + outPath.string() + "'";
  if (options.closeStderr) {
    command += " 2>&-";
  } else {
    command += options.errToOut ? " 2>&1" : " 2>'" + errPath + "'";
  }
  const int status = runShell(command, options.fileSizeLimitBytes);
  RunResult result;
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.timedOut = options.timeLimitSeconds > 0 &&
                    (result.exitCode == 124 || result.exitCode == 137);
  result.out = readBytes(outPath);
  result.err = readBytes(errPath);
  std::filesystem::remove(outPath);
  std::filesystem::remove(errPath);
  return result;
}

void makeFifo(const std::filesystem::path& path) {
  if (::mkfifo(path.c_str(), 0600) != 0) {
    throw std::runtime_error("cannot make FIFO " + path.string());
  }
}

std::filesystem::path testDataPath(const std::filesystem::path& relative) {
  return std::filesystem::path(ORVANDEL_EXE).parent_path() / relative;
}

bool makeLink(const std::filesystem::path& target, const std::filesystem::path& link,
              bool folder, std::string& why) {
  std::error_code ec;
  if (folder) {
    std::filesystem::create_directory_symlink(target, link, ec);
  } else {
    std::filesystem::create_symlink(target, link, ec);
  }
  if (ec) why = "cannot make a symbolic link: " + ec.message();
  return !ec;
}

bool underWine() { return false; }

void removeTestFolder(const std::filesystem::path& root) {
  std::error_code ec;
  // Make everything removable again (tests may take permissions away).
  for (auto it = std::filesystem::recursive_directory_iterator(
           root, std::filesystem::directory_options::skip_permission_denied, ec);
       !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    std::error_code ignored;
    if (!it->is_symlink(ignored)) {
      std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                   std::filesystem::perm_options::add, ignored);
    }
  }
  std::filesystem::remove_all(root, ec);
}
