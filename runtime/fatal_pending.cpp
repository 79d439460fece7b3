// Placeholder for the shutdown entry the fatal-error path calls, so the runtime
// links before the start-up module lands; that module replaces this file.
#include "runtime/startup.h"

int LibraryShutDownSequence() { return 0; }
