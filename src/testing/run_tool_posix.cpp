#include "testing/temp_project.h"

#include <cstdlib>
#include <random>
#include <string>

#include <sys/wait.h>

RunResult runTool() {
  const auto outPath = std::filesystem::temp_directory_path() /
                       ("orvandel_out_" + std::to_string(std::random_device{}()));
  const auto errPath = outPath.string() + ".err";
  const std::string command = std::string("'") + ORVANDEL_EXE + "' >'" +
                              outPath.string() + "' 2>'" + errPath + "' </dev/null";
  const int status = std::system(command.c_str());
  RunResult result;
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.out = readBytes(outPath);
  result.err = readBytes(errPath);
  std::filesystem::remove(outPath);
  std::filesystem::remove(errPath);
  return result;
}

std::filesystem::path testDataPath(const std::filesystem::path& relative) {
  return std::filesystem::path(ORVANDEL_EXE).parent_path() / relative;
}
