// platform_report_failure for the backends whose user reads a terminal, or
// whose test harness reads stderr (headless, SDL).
#include "platform/platform.h"

#include <cstdio>

void platform_report_failure(const char* line) { std::fprintf(stderr, "%s\n", line); }
