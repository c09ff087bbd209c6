#include "model/ObjectOrigin.h"

#include <deque>
#include <mutex>

namespace {

// A deque keeps references stable while the table grows; lookups of a
// number may come from the journal's writer thread, hence the lock. Files
// hold few distinct origins, so a linear search is enough.
struct OriginTable {
  std::mutex lock;
  std::deque<ObjectOrigin> entries{ObjectOrigin()};
};

OriginTable& table() {
  static OriginTable t;
  return t;
}

}  // namespace

uint32_t internOrigin(const ObjectOrigin& origin) {
  OriginTable& t = table();
  std::lock_guard<std::mutex> guard(t.lock);
  for (size_t i = 0; i < t.entries.size(); i++)
    if (t.entries[i] == origin) return (uint32_t)i;
  t.entries.push_back(origin);
  return (uint32_t)(t.entries.size() - 1);
}

const ObjectOrigin& originOf(uint32_t number) {
  OriginTable& t = table();
  std::lock_guard<std::mutex> guard(t.lock);
  return number < t.entries.size() ? t.entries[number] : t.entries[0];
}
