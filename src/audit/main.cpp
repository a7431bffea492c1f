#include "audit/run.h"
#include "text/utf8_stream.h"

int main() {
  Utf8Console console;  // std::wcout and std::wcerr speak UTF-8
  return runAudit();
}
