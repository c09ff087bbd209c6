#include "io/LayerMap.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <sstream>

#include "io/RegularFile.h"

LayerMap::LayerMap() {
  for (int slot = 1; slot < NAMED_LAYER_COUNT; slot++) {
    slots.emplace(key((uint32_t)slot, -1), slot);
    firstPair[slot] = {true, (uint32_t)slot, 0};
  }
}

int LayerMap::slotOf(uint32_t layer, uint32_t datatype) const {
  auto found = slots.find(key(layer, datatype));
  if (found != slots.end()) return found->second;
  auto name = names.find(key(layer, datatype));
  if (name != names.end()) return pairSlot(layer, datatype, name->second.c_str());
  found = slots.find(key(layer, -1));
  return found != slots.end() ? found->second : pairSlot(layer, datatype);
}

void LayerMap::pairOf(int slot, uint32_t& layer, uint32_t& datatype) const {
  if (pairOfSlot(slot, layer, datatype)) return;
  const bool known = slot >= 0 && slot < NAMED_LAYER_COUNT && firstPair[slot].named;
  layer = known ? firstPair[slot].layer : 0;
  datatype = known ? firstPair[slot].datatype : 0;
}

namespace {

// A decimal 0..65535 at p; advances p.
bool parseNumber(const char*& p, uint32_t& value) {
  if (*p < '0' || *p > '9') return false;
  value = 0;
  while (*p >= '0' && *p <= '9') {
    value = value * 10 + (uint32_t)(*p++ - '0');
    if (value > 65535) return false;
  }
  return true;
}

int slotOfCode(const std::string& code) {
  for (int slot = 1; slot < NAMED_LAYER_COUNT; slot++)
    if (code == layerFacts(slot).code) return slot;
  return -1;
}

}  // namespace

bool LayerMap::parse(const std::string& text, std::string& error) {
  LayerMap parsed;
  parsed.slots.clear();
  for (Pair& p : parsed.firstPair) p = Pair();
  size_t at = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
  for (int number = 1; at < text.size(); number++) {
    size_t stop = text.find_first_of("\r\n", at);
    if (stop == std::string::npos) stop = text.size();
    const std::string raw = text.substr(at, stop - at);
    at = stop + (text.compare(stop, 2, "\r\n") == 0 ? 2 : 1);
    const std::string where = "line " + std::to_string(number) + ": ";
    // A name in double quotes is taken out first: it may hold "#".
    std::string line = raw, name;
    const size_t quote = raw.find('"');
    const bool named = quote < raw.find('#');
    if (named) {
      const size_t close = raw.find('"', quote + 1);
      if (close == std::string::npos) {
        error = where + "the name has no closing '\"'";
        return false;
      }
      name = raw.substr(quote + 1, close - quote - 1);
      line = raw.substr(0, quote) + " " + raw.substr(close + 1);
    }
    std::istringstream words(line.substr(0, line.find('#')));
    std::string pair, code, extra;
    if (!(words >> pair)) continue;
    if (!(words >> code) || (words >> extra) || named != (code == "-")) {
      error = where + "expected \"GDSLAYER[/DATATYPE] CODE\" or \"LAYER/DATATYPE - \"NAME\"\"";
      return false;
    }
    const char* p = pair.c_str();
    uint32_t layer = 0, datatype = 0;
    bool ok = parseNumber(p, layer);
    bool hasDatatype = ok && *p == '/';
    if (hasDatatype) ok = parseNumber(++p, datatype);
    if (!ok || *p != '\0') {
      error = where + "\"" + pair + "\" is not a layer 0..65535 with an optional /datatype";
      return false;
    }
    if (named && !hasDatatype) {
      error = where + "a name needs a pair \"LAYER/DATATYPE\", not \"" + pair + "\"";
      return false;
    }
    if (named) {
      if (parsed.slots.count(key(layer, datatype)) || !parsed.names.emplace(key(layer, datatype), name).second) {
        error = where + "\"" + pair + "\" is mapped twice";
        return false;
      }
      continue;
    }
    int slot = slotOfCode(code);
    if (slot < 0) {
      error = where + "\"" + code + "\" is not a layer code (NW DN DP PO ME M2..M6 CO OP LC)";
      return false;
    }
    const uint64_t k = key(layer, hasDatatype ? (int64_t)datatype : -1);
    if (parsed.names.count(k) || !parsed.slots.emplace(k, slot).second) {
      error = where + "\"" + pair + "\" is mapped twice";
      return false;
    }
    if (!parsed.firstPair[slot].named) parsed.firstPair[slot] = {true, layer, datatype};
  }
  parsed.source = text;
  *this = std::move(parsed);
  return true;
}

LayerMap& activeLayerMap() {
  static LayerMap map;
  return map;
}

bool loadLayerMap(const char* path, LayerMap& map, std::string& error) {
  ReadStatus status;
  int errorNumber = 0;
  const int fd = openRegularFile(path, status, errorNumber);
  if (fd < 0) {
    error = std::string(path) + ": " +
            (status == READ_NOT_REGULAR ? "not a regular file" : std::strerror(errorNumber));
    return false;
  }
  std::string text;
  char buffer[1 << 16];
  ssize_t n;
  while ((n = ::read(fd, buffer, sizeof buffer)) != 0) {
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      error = std::string(path) + ": " + std::strerror(errno);
      ::close(fd);
      return false;
    }
    text.append(buffer, (size_t)n);
  }
  ::close(fd);
  if (!map.parse(text, error)) {
    error = std::string(path) + ": " + error;
    return false;
  }
  return true;
}
