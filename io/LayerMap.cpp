#include "io/LayerMap.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include "model/LayerTable.h"

LayerMap::LayerMap() {
  for (int slot = 1; slot < LAYER_COUNT; slot++) lines.push_back({(uint32_t)slot, -1, slot});
}

int LayerMap::slotOf(uint32_t layer, uint32_t datatype) const {
  int any = LAYER_UNKNOWN;
  bool anyFound = false;
  for (const Line& l : lines) {
    if (l.layer != layer) continue;
    if (l.datatype == (int32_t)datatype) return l.slot;
    if (l.datatype < 0 && !anyFound) {
      any = l.slot;
      anyFound = true;
    }
  }
  return any;
}

void LayerMap::pairOf(int slot, uint32_t& layer, uint32_t& datatype) const {
  layer = datatype = 0;
  for (const Line& l : lines) {
    if (l.slot != slot) continue;
    layer = l.layer;
    datatype = l.datatype < 0 ? 0 : (uint32_t)l.datatype;
    return;
  }
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
  for (int slot = 1; slot < LAYER_COUNT; slot++)
    if (code == layerFacts(slot).code) return slot;
  return -1;
}

}  // namespace

bool LayerMap::parse(const std::string& text, std::string& error) {
  std::vector<Line> parsed;
  std::istringstream in(text);
  std::string raw;
  for (int number = 1; std::getline(in, raw); number++) {
    std::string line = raw.substr(0, raw.find('#'));
    std::istringstream words(line);
    std::string pair, code, extra;
    if (!(words >> pair)) continue;
    const std::string where = "line " + std::to_string(number) + ": ";
    if (!(words >> code) || (words >> extra)) {
      error = where + "expected \"GDSLAYER[/DATATYPE] CODE\"";
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
    int slot = slotOfCode(code);
    if (slot < 0) {
      error = where + "\"" + code + "\" is not a layer code (NW DN DP PO ME M2..M6 CO OP LC)";
      return false;
    }
    Line entry{layer, hasDatatype ? (int32_t)datatype : -1, slot};
    for (const Line& l : parsed) {
      if (l.layer == entry.layer && l.datatype == entry.datatype) {
        error = where + "\"" + pair + "\" is mapped twice";
        return false;
      }
    }
    parsed.push_back(entry);
  }
  lines.swap(parsed);
  source = text;
  return true;
}

LayerMap& activeLayerMap() {
  static LayerMap map;
  return map;
}

bool loadLayerMap(const char* path, LayerMap& map, std::string& error) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  if (in) text << in.rdbuf();
  if (!in || in.bad()) {
    error = std::string(path) + ": " + std::strerror(errno ? errno : EIO);
    return false;
  }
  if (!map.parse(text.str(), error)) {
    error = std::string(path) + ": " + error;
    return false;
  }
  return true;
}
