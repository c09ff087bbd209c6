#ifndef KIVO_DISPLAYUNITS_H
#define KIVO_DISPLAYUNITS_H

#include <cstdint>
#include <string>

// Lengths as the user reads and types them: database units, or micrometres
// (a GDSII layout's metres per database unit, times 10^6). Positions and
// sizes in the status bar, the inspect field, Go To, Properties, the grid
// step and the rulers all pass through one of these, so they always agree.
struct DisplayUnits {
  bool micrometres = false;
  double micronsPerUnit = 1.0;  // micrometres per database unit

  // The units a layout shows by default: micrometres when it came from a
  // GDSII file with metres per unit metres, database units otherwise.
  static DisplayUnits forLayout(bool gdsii, double metres);

  // "12500" in database units; "12.5" in micrometres, with as many decimals
  // as one database unit needs (at most 6) and no trailing zeros.
  std::string format(int64_t units) const;
  // The unit's name for labels: "um" or "dbu".
  const char* name() const { return micrometres ? "um" : "dbu"; }
  // A typed length (optional sign, digits, optional decimals; surrounding
  // blanks allowed) to the nearest database unit; false when malformed or
  // outside [min, max].
  bool parse(const std::string& text, int64_t& units, int64_t min = INT32_MIN, int64_t max = INT32_MAX) const;
};

#endif
