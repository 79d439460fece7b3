// Placeholders for the two start-up/shutdown entries the fatal-error path calls, so the runtime
// links before the start-up module lands; that module replaces this file.
#include "runtime/api_lock.h"
#include "runtime/startup.h"

int LibraryShutDownSequence() { return 0; }

void ApiLockTearDown() {}
