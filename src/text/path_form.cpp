#include "text/path_form.h"

#include "text/case_fold.h"

void appendPathForm(std::string_view utf8, std::string& out) {
  const std::size_t base = out.size();
  std::size_t kept = 0;  // steps in `out` that a ".." may drop
  std::size_t start = 0;
  while (start <= utf8.size()) {
    std::size_t end = utf8.find_first_of("/\\", start);
    if (end == std::string_view::npos) end = utf8.size();
    std::string_view step = utf8.substr(start, end - start);
    start = end + 1;
    if (step == "..") {
      if (kept > 0) {
        --kept;
        const std::size_t slash = out.rfind('/');
        out.resize(slash == std::string::npos || slash < base ? base : slash);
        continue;
      }
    } else if (step != ".") {
      // Windows drops what trails a name's last character that is no dot or blank.
      while (!step.empty() && (step.back() == '.' || step.back() == ' ')) {
        step.remove_suffix(1);
      }
    }
    if (step.empty() || step == ".") continue;
    if (out.size() > base) out.push_back('/');
    if (step == "..") {
      out.append("..");  // at the start, nothing to drop
      continue;
    }
    appendFolded(step, out);
    ++kept;
  }
}

std::string pathForm(std::string_view utf8) {
  std::string form;
  appendPathForm(utf8, form);
  return form;
}
