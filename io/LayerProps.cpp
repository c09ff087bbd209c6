#include "io/LayerProps.h"

#include <errno.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <sstream>

#include "io/RegularFile.h"
#include "io/SafeSave.h"
#include "model/LayerTable.h"

namespace {

// "#RRGGBBAA" as an FXColor (red lowest, alpha highest); false otherwise.
bool parseColor(const std::string& word, uint32_t& color) {
  if (word.size() != 9 || word[0] != '#') return false;
  uint32_t rgba = 0;
  for (size_t i = 1; i < word.size(); i++) {
    const char c = word[i];
    int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
    if (digit < 0) return false;
    rgba = rgba << 4 | (uint32_t)digit;
  }
  color = layerRGBA(rgba >> 24, rgba >> 16 & 0xFF, rgba >> 8 & 0xFF, rgba & 0xFF);
  return true;
}

std::string colorText(uint32_t color) {
  char text[16];
  std::snprintf(text, sizeof text, "#%02X%02X%02X%02X", color & 0xFF, color >> 8 & 0xFF, color >> 16 & 0xFF,
                color >> 24 & 0xFF);
  return text;
}

// One line's look; false for a malformed line.
bool parseLine(const std::string& line, KeyedLook& out) {
  std::istringstream words(line);
  std::string key, color, style, flag, extra;
  if (!(words >> key >> color >> style)) return false;
  const bool hasFlag = (bool)(words >> flag);
  if (words >> extra || (hasFlag && flag != "hidden")) return false;
  out.key = layerKeyOf(key);
  out.look.style = styleOfName(style);
  out.look.hidden = hasFlag;
  return !out.key.empty() && out.look.style >= 0 && parseColor(color, out.look.color);
}

std::mutex pathLock;
std::string chosenPath;

// Make the folders of path's directory that are missing.
bool makeParents(const std::string& path, std::string& error) {
  for (size_t at = path.find('/', 1); at != std::string::npos; at = path.find('/', at + 1)) {
    if (mkdir(path.substr(0, at).c_str(), 0755) != 0 && errno != EEXIST) {
      error = "the folder " + path.substr(0, at) + " cannot be made: " + std::strerror(errno);
      return false;
    }
  }
  return true;
}

}  // namespace

std::vector<KeyedLook> parseLayerProps(const std::string& text, std::vector<int>& badLines) {
  std::vector<KeyedLook> looks;
  std::istringstream in(text);
  std::string line;
  for (int number = 1; std::getline(in, line); number++) {
    const size_t start = line.find_first_not_of(" \t\r");
    if (start == std::string::npos || line[start] == '#') continue;
    KeyedLook look;
    if (parseLine(line, look))
      looks.push_back(look);
    else
      badLines.push_back(number);
  }
  return looks;
}

std::string formatLayerProps(const std::vector<KeyedLook>& looks) {
  std::string text = "# Kivo layer properties: KEY #RRGGBBAA fill|outline|stipple1..stipple8 [hidden]\n";
  for (const KeyedLook& k : looks) {
    text += k.key + " " + colorText(k.look.color) + " " + styleName(k.look.style);
    text += k.look.hidden ? " hidden\n" : "\n";
  }
  return text;
}

std::string defaultLayerPropsPath() {
  const std::string folder = userFolder("XDG_CONFIG_HOME", ".config");
  return folder.empty() ? folder : folder + "/kivo/layers.props";
}

void setLayerPropsPath(const std::string& path) {
  std::lock_guard<std::mutex> guard(pathLock);
  chosenPath = path;
}

std::string layerPropsPath() {
  std::lock_guard<std::mutex> guard(pathLock);
  return chosenPath.empty() ? defaultLayerPropsPath() : chosenPath;
}

bool loadLayerProps(const std::string& path, std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    if (errno == ENOENT) return true;
    error = path + ": " + std::strerror(errno);
    return false;
  }
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) {
    error = path + ": cannot be read";
    return false;
  }
  std::vector<int> bad;
  for (const KeyedLook& k : parseLayerProps(text.str(), bad)) chooseLook(k.key, k.look);
  for (int line : bad) std::fprintf(stderr, "kivo: %s:%d: malformed layer line skipped\n", path.c_str(), line);
  return true;
}

std::vector<KeyedLook> looksToSave() {
  std::vector<KeyedLook> looks;
  for (int i = LAYER_UNKNOWN + 1; i < NAMED_LAYER_COUNT; i++) looks.push_back({layerKeyOfSlot(i), lookOfSlot(i)});
  uint32_t layer = 0, datatype = 0;
  for (const KeyedLook& k : chosenLooks())
    if (parsePairCode(k.key.data(), k.key.size(), layer, datatype)) looks.push_back(k);
  return looks;
}

bool saveLayerProps(const std::string& path, std::string& error) {
  if (path.empty()) return error = "no folder for the layer properties (HOME is not set)", false;
  if (!makeParents(path, error)) return false;
  const std::string text = formatLayerProps(looksToSave());
  int errorNumber = 0;
  SaveStatus status = saveSafely(path.c_str(), [&text](std::ostream& out) { out << text; }, errorNumber);
  if (status == SAVE_OK) return true;
  error = path + saveFailureText(status, errorNumber);
  return false;
}
