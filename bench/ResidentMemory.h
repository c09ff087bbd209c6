#ifndef KIVO_BENCH_RESIDENTMEMORY_H
#define KIVO_BENCH_RESIDENTMEMORY_H

#include <unistd.h>

#include <cstdio>

// The process's resident memory in bytes, from /proc/self/statm; 0 when it
// cannot be read.
inline long residentBytes() {
  long pages = 0, resident = 0;
  FILE* f = std::fopen("/proc/self/statm", "r");
  if (f) {
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(f);
  }
  return resident * sysconf(_SC_PAGESIZE);
}

#endif
