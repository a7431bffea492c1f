#pragma once

// Run the whole audit once in the current working folder. Return the
// process exit code: 0 after a complete run, 1 when the run stops early or
// when the report or the diagnostic log could not be written whole.
int runAudit();
