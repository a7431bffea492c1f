#pragma once

#include <ostream>
#include <string>

// Turn the finished temporary log at `inputPath` into the final log at
// `outputPath` (one UTF-8 byte-order mark, then the temporary log's text
// without its own mark) and remove the temporary log. Runs in bounded
// memory. Never raises: on failure it logs to `log`, writes one line naming
// `inputPath` to standard error and leaves the temporary log in place; a
// decoding failure leaves an earlier final log untouched.
void convertLogToUtf8(const std::string& inputPath, const std::string& outputPath,
                      std::wostream& log);
