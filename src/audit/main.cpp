#include "audit/run.h"

int main() { return runAudit(); }
