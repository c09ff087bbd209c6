#include <gtest/gtest.h>
#include <signal.h>

// The test binaries' entry point: GoogleTest, with SIGPIPE ignored so that a
// child process closing a pipe cannot kill the run.
int main(int argc, char** argv) {
  signal(SIGPIPE, SIG_IGN);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
