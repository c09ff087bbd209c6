#ifndef KIVO_SECONDTHREAD_H
#define KIVO_SECONDTHREAD_H

// The painter's one way of sharing work with a second processor: whole
// layers go to a second thread while the calling thread, the owner of the
// OpenGL context, does the rest. Each layer's data is touched by one thread
// only, and the second thread is joined before the call returns, so none
// outlives a paint.

#include <cstddef>
#include <thread>

#include "model/LayerTable.h"

// The layers a second thread takes: whole ones, about half of the work
// (work[i] per layer, 0 where there is none), none when there is too little
// to share, among the first n layers. Returns how much it takes.
size_t shareLayers(const size_t work[LAYER_COUNT], bool theirs[LAYER_COUNT], int n = LAYER_COUNT);

// Run theirs on a second thread when beside is true (else not at all)
// while this thread runs mine; both have finished on return, also when
// mine throws.
template <class Theirs, class Mine>
void runBeside(bool beside, Theirs theirs, Mine mine) {
  struct Joined {
    std::thread thread;
    ~Joined() {
      if (thread.joinable()) thread.join();
    }
  } second;
  if (beside) second.thread = std::thread(theirs);
  mine();
}

#endif
