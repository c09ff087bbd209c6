#include "app/StatusLog.h"

#include <cstdio>
#include <cstdlib>

// Opened and closed for each line, so that a reader outside sees each line
// as soon as it is shown, and no descriptor is kept for a rare aid.
void logStatusText(const char* field, const char* text) {
  const char* path = std::getenv("KIVO_STATUS_LOG");
  if (!path || !*path) return;
  if (std::FILE* f = std::fopen(path, "a")) {
    std::fprintf(f, "%s: %s\n", field, text);
    std::fclose(f);
  }
}
