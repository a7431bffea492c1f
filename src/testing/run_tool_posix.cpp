#include "testing/temp_project.h"

#include <cstdlib>
#include <random>
#include <stdexcept>
#include <string>

#include <sys/stat.h>
#include <sys/wait.h>

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
  const int status = std::system(command.c_str());
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
