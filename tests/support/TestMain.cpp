#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>

#include <string>

#include "support/GuiTest.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

// The test binaries' entry point: GoogleTest, with SIGPIPE ignored so that a
// child process closing a pipe cannot kill the run, and recovery journals,
// layer properties and FOX's registry (the recent files, under HOME) kept in a folder of the
// run's own, so that no test meets a real one. The run fails when the GUI does not end cleanly or memory leaked.
int main(int argc, char** argv) {
  signal(SIGPIPE, SIG_IGN);
  const std::string own = kivotest::tempDir();
  setenv("XDG_STATE_HOME", own.c_str(), 1);
  setenv("XDG_CONFIG_HOME", own.c_str(), 1);  // the layer properties file
  setenv("HOME", own.c_str(), 1);
  testing::InitGoogleTest(&argc, argv);
  int failed = RUN_ALL_TESTS();
  bool clean = kivotest::shutDown();
#if defined(__SANITIZE_ADDRESS__)
  // Look for leaks now, while every library is whole. The check at exit
  // runs last of all exit handlers, after the libraries' finalizers, and
  // its tracer has been seen to fault there on a stray thread-local range.
  // Leaks found here end the run with LeakSanitizer's failure status.
  __lsan_do_leak_check();
#endif
  return clean ? failed : 1;
}
