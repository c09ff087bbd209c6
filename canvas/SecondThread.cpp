#include "canvas/SecondThread.h"

namespace {

// Below this many objects (or boxes) in all, starting a thread costs about
// what it saves: a walk of 200,000 objects takes a few milliseconds.
const size_t SHARED_FROM = 200000;

}  // namespace

size_t shareLayers(const size_t work[LAYER_COUNT], bool theirs[LAYER_COUNT], int n) {
  size_t total = 0, given = 0;
  for (int i = 0; i < n; i++) total += work[i];
  for (int i = 0; i < n && total >= SHARED_FROM; i++) {
    if (work[i] == 0 || 2 * (given + work[i]) > total + work[i]) continue;
    theirs[i] = true;
    given += work[i];
  }
  return given;
}
