// What the recovery journal costs the interface: the time an edit's
// notification takes on the GUI thread (encoding and queuing; the writer
// thread writes, checksums and syncs). Targets: an edit of 10^4 objects
// <= 5 ms, a Delete of 10^6 objects <= 5 ms, a paste or redo of 10^6
// objects < 50 ms, also while the writer is still busy with the last one.
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "io/RecoveryJournal.h"

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

std::vector<GroupNode*> makeNodes(size_t n) {
  std::vector<GroupNode*> nodes;
  nodes.reserve(n);
  for (size_t i = 0; i < n; i++) {
    GroupNode* node = new Box;
    node->setRect((int32_t)(i % 1000) * 3, (int32_t)(i / 1000) * 3, 2, 2);
    nodes.push_back(node);
  }
  return nodes;
}

// The worst of a few runs of one notification, in ms.
template <typename F>
double worst(int runs, F notify) {
  double most = 0;
  for (int i = 0; i < runs; i++) {
    Clock::time_point start = Clock::now();
    notify();
    most = std::max(most, msSince(start));
  }
  return most;
}

bool report(const char* what, double ms, double limit) {
  std::printf("%-58s %8.2f ms  (limit %5.1f ms) %s\n", what, ms, limit, ms <= limit ? "ok" : "TOO SLOW");
  return ms <= limit;
}

}  // namespace

int main() {
  char pattern[] = "/tmp/kivo-recovery-bench-XXXXXX";
  std::string dir = mkdtemp(pattern);
  Layout layout;
  RecoveryJournal journal(layout, dir);
  std::vector<GroupNode*> small = makeNodes(10000), big = makeNodes(1000000);
  std::vector<uint32_t> all(big.size()), everyOther;
  for (uint32_t i = 0; i < all.size(); i++) all[i] = i;
  std::vector<GroupNode*> half;
  for (uint32_t i = 0; i < all.size(); i += 2) everyOther.push_back(i), half.push_back(big[i]);

  bool ok = true;
  ok &= report("append entry, edit of 10^4 objects (worst of 20)",
               worst(20, [&] { journal.objectsAppended(1, 0, small); }), 5);
  journal.flush();
  ok &= report("Delete of 10^6 objects, one range (worst of 20)",
               worst(20, [&] { journal.objectsRemoved(1, all, big); }), 5);
  ok &= report("move of 10^6 objects, one range (worst of 20)",
               worst(20, [&] { journal.objectsMoved(1, all, 1, 1); }), 5);
  journal.flush();
  ok &= report("paste or redo of 10^6 objects (worst of 5)",
               worst(5, [&] { journal.objectsAppended(1, 0, big); }), 50);
  ok &= report("undo of a Delete of 10^6 objects (worst of 5)",
               worst(5, [&] { journal.objectsInserted(1, all, big); }), 50);
  ok &= report("edit of 10^4 while the writer is busy (worst of 20)",
               worst(20, [&] { journal.objectsAppended(1, 0, small); }), 5);
  journal.flush();
  std::printf("%-58s %8.2f ms  (for information)\n", "Delete of 5*10^5 scattered objects (5*10^5 ranges)",
              worst(3, [&] { journal.objectsRemoved(1, everyOther, half); }));
  Clock::time_point start = Clock::now();
  journal.objectsAppended(1, 0, big);
  journal.flush();
  std::printf("%-58s %8.2f ms  (for information)\n", "writer thread: 10^6 objects written and synced",
              msSince(start));

  journal.discard();
  journal.flush();
  for (GroupNode* node : small) delete node;
  for (GroupNode* node : big) delete node;
  rmdir(dir.c_str());
  return ok ? 0 : 1;
}
