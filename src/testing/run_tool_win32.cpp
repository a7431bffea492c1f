#include "testing/temp_project.h"

#include <windows.h>

#include <random>
#include <stdexcept>
#include <string>

namespace {

// The folder of the running test binary; the tool is built beside it.
std::filesystem::path binaryDir() {
  std::wstring name(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, name.data(),
                                       static_cast<DWORD>(name.size()));
    if (n == 0) throw std::runtime_error("GetModuleFileNameW failed");
    if (n < name.size()) {
      name.resize(n);
      return std::filesystem::path(name).parent_path();
    }
    name.resize(name.size() * 2);
  }
}

// An inheritable handle, closed when it goes out of scope.
class Handle {
 public:
  explicit Handle(HANDLE handle) : handle_(handle) {
    if (handle_ == INVALID_HANDLE_VALUE) throw std::runtime_error("CreateFileW failed");
  }
  ~Handle() { CloseHandle(handle_); }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  HANDLE get() const { return handle_; }

 private:
  HANDLE handle_;
};

HANDLE openInheritable(const std::filesystem::path& path, DWORD access,
                       DWORD disposition) {
  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  return CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE,
                     &inherit, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

RunResult runTool() {
  const auto outPath = std::filesystem::temp_directory_path() /
                       ("orvandel_out_" + std::to_string(std::random_device{}()));
  auto errPath = outPath;
  errPath += ".err";
  RunResult result;
  {
    Handle out(openInheritable(outPath, GENERIC_WRITE, CREATE_ALWAYS));
    Handle err(openInheritable(errPath, GENERIC_WRITE, CREATE_ALWAYS));
    Handle in(openInheritable(L"NUL", GENERIC_READ, OPEN_EXISTING));

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in.get();
    startup.hStdOutput = out.get();
    startup.hStdError = err.get();
    const std::wstring exe = (binaryDir() / L"orvandel.exe").native();
    std::wstring commandLine = L"\"" + exe + L"\"";
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                        0, nullptr, nullptr, &startup, &process)) {
      throw std::runtime_error("CreateProcessW failed");
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    if (GetExitCodeProcess(process.hProcess, &code)) {
      result.exitCode = static_cast<int>(code);
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  result.out = readBytes(outPath);
  result.err = readBytes(errPath);
  std::filesystem::remove(outPath);
  std::filesystem::remove(errPath);
  return result;
}

std::filesystem::path testDataPath(const std::filesystem::path& relative) {
  return binaryDir() / relative;
}
