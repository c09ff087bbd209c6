/* Copied unchanged from the team's shared tools folder (shared/tools/frametime.c), so that a
   clean clone builds it; frame_bench preloads it into the program it times. */
/* LD_PRELOAD shim: logs when the program opens a .msk or .gds file, starts a frame (glClear) and shows
   it (glXSwapBuffers), as CLOCK_MONOTONIC seconds, to the file named by FRAMETIME_LOG.
   Lines: "open T PATH", "clear T", "swap T". Lets a check time the real binary from the outside. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <GL/gl.h>
#include <GL/glx.h>

static FILE* out;
static double now(void) {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return t.tv_sec + t.tv_nsec * 1e-9;
}
static void note(const char* what, const char* path) {
  if (!out) {
    const char* name = getenv("FRAMETIME_LOG");
    if (!name) return;
    out = fopen(name, "a");
    if (!out) return;
    setvbuf(out, NULL, _IOLBF, 0);
  }
  if (path) fprintf(out, "%s %.6f %s\n", what, now(), path);
  else fprintf(out, "%s %.6f\n", what, now());
}
static int is_msk(const char* p) {
  size_t n = p ? strlen(p) : 0;
  return n > 4 && (strcmp(p + n - 4, ".msk") == 0 || strcmp(p + n - 4, ".gds") == 0);
}
int open(const char* path, int flags, ...) {
  static int (*real)(const char*, int, ...);
  if (!real) real = dlsym(RTLD_NEXT, "open");
  va_list ap; va_start(ap, flags); int mode = va_arg(ap, int); va_end(ap);
  if (is_msk(path) && !(flags & (O_WRONLY | O_RDWR))) note("open", path);
  return real(path, flags, mode);
}
int open64(const char* path, int flags, ...) {
  static int (*real)(const char*, int, ...);
  if (!real) real = dlsym(RTLD_NEXT, "open64");
  va_list ap; va_start(ap, flags); int mode = va_arg(ap, int); va_end(ap);
  if (is_msk(path) && !(flags & (O_WRONLY | O_RDWR))) note("open", path);
  return real(path, flags, mode);
}
FILE* fopen(const char* path, const char* m) {
  static FILE* (*real)(const char*, const char*);
  if (!real) real = dlsym(RTLD_NEXT, "fopen");
  if (is_msk(path) && m[0] == 'r' && !strchr(m, '+')) note("open", path);
  return real(path, m);
}
void glClear(GLbitfield mask) {
  static void (*real)(GLbitfield);
  if (!real) real = dlsym(RTLD_NEXT, "glClear");
  note("clear", NULL);
  real(mask);
}
void glXSwapBuffers(Display* d, GLXDrawable w) {
  static void (*real)(Display*, GLXDrawable);
  if (!real) real = dlsym(RTLD_NEXT, "glXSwapBuffers");
  real(d, w);
  glFinish();
  note("swap", NULL);
}
