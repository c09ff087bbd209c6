#include "model/DisplayUnits.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

// Micrometres are shown to at most this many decimals (a picometre grid
// would need more, and no process draws on one).
const int MAX_DECIMALS = 6;

}  // namespace

DisplayUnits DisplayUnits::forLayout(bool gdsii, double metres) {
  DisplayUnits u;
  if (gdsii && metres > 0 && std::isfinite(metres)) {
    u.micrometres = true;
    u.micronsPerUnit = metres * 1e6;
  }
  return u;
}

std::string DisplayUnits::format(int64_t units) const {
  if (!micrometres) return std::to_string(units);
  // Enough decimals that one database unit shows: 1 nm needs 3.
  int decimals = 0;
  for (double step = micronsPerUnit; decimals < MAX_DECIMALS && std::fabs(step - std::round(step)) > 1e-9;
       step *= 10)
    decimals++;
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, (double)units * micronsPerUnit);
  std::string s = text;
  if (s.find('.') != std::string::npos) {
    while (s.back() == '0') s.pop_back();
    if (s.back() == '.') s.pop_back();
  }
  if (s == "-0") s = "0";
  return s;
}

bool DisplayUnits::parse(const std::string& text, int64_t& units, int64_t min, int64_t max) const {
  size_t i = 0, n = text.size();
  while (i < n && (text[i] == ' ' || text[i] == '\t')) i++;
  size_t start = i;
  if (i < n && (text[i] == '-' || text[i] == '+')) i++;
  size_t digits = 0, point = 0;
  for (; i < n; i++) {
    if (text[i] >= '0' && text[i] <= '9') digits++;
    else if (text[i] == '.' && !point) point = i + 1;
    else break;
  }
  size_t end = i;
  while (i < n && (text[i] == ' ' || text[i] == '\t')) i++;
  if (i != n || digits == 0 || digits > 30) return false;
  // Database units are whole: a fraction is malformed there.
  if (point && !micrometres) return false;
  double value = std::strtod(text.substr(start, end - start).c_str(), nullptr);
  if (micrometres) value /= micronsPerUnit;
  double rounded = std::round(value);
  if (!std::isfinite(rounded) || rounded < (double)min || rounded > (double)max) return false;
  units = (int64_t)rounded;
  return true;
}
