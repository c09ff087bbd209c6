#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>

#include "support/GuiTest.h"

// The test binaries' entry point: GoogleTest, with SIGPIPE ignored so that a
// child process closing a pipe cannot kill the run, and recovery journals
// kept in a folder of the run's own, so that no test meets a real one. The
// run fails when the GUI does not end cleanly.
int main(int argc, char** argv) {
  signal(SIGPIPE, SIG_IGN);
  setenv("XDG_STATE_HOME", kivotest::tempDir().c_str(), 1);
  testing::InitGoogleTest(&argc, argv);
  int failed = RUN_ALL_TESTS();
  return kivotest::shutDown() ? failed : 1;
}
