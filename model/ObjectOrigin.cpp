#include "model/ObjectOrigin.h"

#include <deque>
#include <mutex>
#include <unordered_map>

namespace {

struct OriginHash {
  size_t operator()(const ObjectOrigin& o) const {
    uint64_t pair = ((uint64_t)(uint32_t)o.gdsLayer << 32) | (uint32_t)o.gdsDatatype;
    return std::hash<std::string>()(o.code) ^ (std::hash<uint64_t>()(pair) * 31) ^
           (std::hash<std::string>()(o.gdsProperties) * 131);
  }
};

// A deque keeps references stable while the table grows; lookups of a
// number may come from the journal's writer thread, hence the lock. The
// index finds an origin's number at once: a file may hold millions of
// distinct codes.
struct OriginTable {
  std::mutex lock;
  std::deque<ObjectOrigin> entries{ObjectOrigin()};
  std::unordered_map<ObjectOrigin, uint32_t, OriginHash> index{{ObjectOrigin(), 0}};
};

OriginTable& table() {
  static OriginTable t;
  return t;
}

}  // namespace

uint32_t internOrigin(const ObjectOrigin& origin) {
  OriginTable& t = table();
  std::lock_guard<std::mutex> guard(t.lock);
  auto found = t.index.find(origin);
  if (found != t.index.end()) return found->second;
  t.entries.push_back(origin);
  t.index.emplace(origin, (uint32_t)(t.entries.size() - 1));
  return (uint32_t)(t.entries.size() - 1);
}

const ObjectOrigin& originOf(uint32_t number) {
  OriginTable& t = table();
  std::lock_guard<std::mutex> guard(t.lock);
  return number < t.entries.size() ? t.entries[number] : t.entries[0];
}
