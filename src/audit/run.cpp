#include "audit/run.h"
// placeholder
int runAudit() { return 0; }
