#include "testing/temp_project.h"

#include <windows.h>

#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "text/utf8.h"

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

// Start `application` with `commandLine` and wait for it, at most `limitMs`
// milliseconds: a process still running then is ended and `*timedOut` set.
// Return its exit code, or -1 when it could not be started.
int runAndWait(const std::wstring& application, std::wstring commandLine,
               STARTUPINFOW& startup, bool inherit, DWORD limitMs = INFINITE,
               bool* timedOut = nullptr) {
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(application.c_str(), commandLine.data(), nullptr, nullptr,
                      inherit ? TRUE : FALSE, 0, nullptr, nullptr, &startup,
                      &process)) {
    return -1;
  }
  if (WaitForSingleObject(process.hProcess, limitMs) == WAIT_TIMEOUT) {
    if (timedOut != nullptr) *timedOut = true;
    TerminateProcess(process.hProcess, 1);
    WaitForSingleObject(process.hProcess, INFINITE);
  }
  DWORD code = 0;
  const bool known = GetExitCodeProcess(process.hProcess, &code) != 0;
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return known ? static_cast<int>(code) : -1;
}

// A relative path for a command line of the host: "/" separators.
std::wstring hostPath(const std::filesystem::path& path) {
  std::wstring text = path.native();
  for (wchar_t& c : text) {
    if (c == L'\\') c = L'/';
  }
  return text;
}

// The host's absolute name of `path` under Wine, as UTF-8; empty when Wine
// cannot tell it.
std::string hostAbsolutePath(const std::filesystem::path& path) {
  using ToUnix = char* (*)(const wchar_t*);
  HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  const auto toUnix = kernel == nullptr
                          ? nullptr
                          : reinterpret_cast<ToUnix>(reinterpret_cast<void*>(
                                GetProcAddress(kernel, "wine_get_unix_file_name")));
  if (toUnix == nullptr) return {};
  char* name = toUnix(std::filesystem::absolute(path).c_str());
  if (name == nullptr) return {};
  std::string text(name);
  HeapFree(GetProcessHeap(), 0, name);
  return text;
}

// Run `script` in the host's shell, with `args` as $0, $1, ..., and wait
// for it. Wine starts a host program without a handle to wait on, so the
// shell leaves its exit status in a marker file, which is polled for. The
// arguments are passed without quotes: the test folders hold no blanks.
// Return true when the script ended with status 0.
bool runHostShell(const std::wstring& script, const std::vector<std::wstring>& args,
                  std::string& why) {
  const auto marker = std::filesystem::temp_directory_path() /
                      ("orvandel_sh_" + std::to_string(std::random_device{}()));
  const std::string hostMarker = hostAbsolutePath(marker);
  if (hostMarker.empty()) {
    why = "Wine cannot tell the host's name of a temporary file";
    return false;
  }
  std::wstring command = L"sh -c \"" + script + L"; echo $? >" +
                         decodeUtf8Lossy(hostMarker) + L".tmp; mv " +
                         decodeUtf8Lossy(hostMarker) + L".tmp " +
                         decodeUtf8Lossy(hostMarker) + L"\"";
  for (const std::wstring& arg : args) command += L" " + arg;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(L"Z:\\bin\\sh", command.data(), nullptr, nullptr, FALSE, 0,
                      nullptr, nullptr, &startup, &process)) {
    why = "the host's sh could not be started";
    return false;
  }
  for (int waited = 0; waited < 400 && !std::filesystem::exists(marker); ++waited) {
    Sleep(50);
  }
  const std::string status = readBytes(marker);
  std::error_code ignored;
  std::filesystem::remove(marker, ignored);
  if (status == "0\n") return true;
  why = "the host's shell failed (" + (status.empty() ? "no status" : status) + ")";
  return false;
}

}  // namespace

RunResult runTool(const RunOptions& options) {
  if (options.fileSizeLimitBytes > 0) {
    throw std::runtime_error("Windows has no file-size limit");
  }
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
    // A closed stream is one without a handle.
    startup.hStdInput = options.closeStdin ? nullptr : in.get();
    startup.hStdOutput = options.closeStdout ? nullptr : out.get();
    startup.hStdError = options.closeStderr ? nullptr
                        : options.errToOut  ? out.get()
                                            : err.get();
    const std::wstring exe = (binaryDir() / L"orvandel.exe").native();
    const DWORD limitMs = options.timeLimitSeconds > 0
                              ? static_cast<DWORD>(options.timeLimitSeconds) * 1000
                              : INFINITE;
    result.exitCode =
        runAndWait(exe, L"\"" + exe + L"\"", startup, true, limitMs, &result.timedOut);
    if (result.exitCode == -1) throw std::runtime_error("CreateProcessW failed");
  }
  result.out = readBytes(outPath);
  result.err = readBytes(errPath);
  std::filesystem::remove(outPath);
  std::filesystem::remove(errPath);
  return result;
}

FileSizeLimit::FileSizeLimit(long long) {
  throw std::runtime_error("Windows has no file-size limit");
}

FileSizeLimit::~FileSizeLimit() = default;

void makeFifo(const std::filesystem::path&) {
  throw std::runtime_error("Windows has no FIFOs");
}

std::filesystem::path testDataPath(const std::filesystem::path& relative) {
  return binaryDir() / relative;
}

bool underWine() {
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

bool makeLink(const std::filesystem::path& target, const std::filesystem::path& link,
              bool folder, std::string& why) {
  if (underWine()) {
    // Wine's CreateSymbolicLinkW makes nothing: the host's ln does it.
    const std::string hostLink = hostAbsolutePath(link);
    if (hostLink.empty()) {
      why = "Wine cannot tell the host's name of the link";
      return false;
    }
    return runHostShell(L"ln -s $0 $1", {hostPath(target), decodeUtf8Lossy(hostLink)},
                        why);
  }
  DWORD flags = SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE;
  if (folder) flags |= SYMBOLIC_LINK_FLAG_DIRECTORY;
  if (CreateSymbolicLinkW(link.c_str(), target.c_str(), flags)) return true;
  why = "symbolic links need developer mode or the privilege to make them";
  return false;
}

void removeTestFolder(const std::filesystem::path& root) {
  std::error_code ec;
  if (underWine()) {
    // Wine removes a linked folder's target, not the link: the host does it.
    const std::string hostRoot = hostAbsolutePath(root);
    std::string why;
    if (!hostRoot.empty() && runHostShell(L"rm -rf $0", {decodeUtf8Lossy(hostRoot)}, why)) {
      return;
    }
  }
  std::filesystem::remove_all(root, ec);
}
