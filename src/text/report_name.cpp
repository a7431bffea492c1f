#include "text/report_name.h"

#include <iomanip>
#include <sstream>

#include "platform/platform.h"

std::string formatLogFileName(const std::string& prefix, const std::tm& local) {
  std::ostringstream oss;
  oss << prefix << "_" << (local.tm_year + 1900) << std::setfill('0')
      << std::setw(2) << (local.tm_mon + 1) << std::setw(2) << local.tm_mday
      << "_" << std::setw(2) << local.tm_hour << std::setw(2) << local.tm_min
      << std::setw(2) << local.tm_sec << ".txt";
  return oss.str();
}

std::string generateLogFileName(const std::string& prefix) {
  std::tm local{};
  platform::localTime(std::time(nullptr), local);
  return formatLogFileName(prefix, local);
}

std::string currentTimeText() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  if (now == static_cast<std::time_t>(-1) || !platform::localTime(now, local)) {
    return {};
  }
  char buf[64];
  // The process locale is never changed, so this is the C locale's text.
  const std::size_t n = std::strftime(buf, sizeof buf, "%a %b %d %H:%M:%S %Y", &local);
  return std::string(buf, n);
}
