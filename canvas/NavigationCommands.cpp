// Go To a position, and zooming to the band of a right drag with Shift.
#include <algorithm>
#include <cstdlib>
#include <cstdint>
#include <string>

#include "app/KivoWindow.h"

namespace {

enum ParseResult { POSITION_OK, POSITION_MALFORMED, POSITION_OUT_OF_RANGE };

// Optional blanks, sign, digits, a fraction where the units take one, blanks.
bool isNumber(const std::string& text, bool fraction) {
  size_t i = text.find_first_not_of(" \t");
  if (i == std::string::npos) return false;
  if (text[i] == '-' || text[i] == '+') i++;
  size_t digits = 0;
  for (bool point = false; i < text.size(); i++) {
    if (text[i] >= '0' && text[i] <= '9') digits++;
    else if (text[i] == '.' && fraction && !point) point = true;
    else break;
  }
  return digits > 0 && text.find_first_not_of(" \t", i) == std::string::npos;
}

// One coordinate in the units shown.
ParseResult readCoordinate(const DisplayUnits& units, const std::string& text, int32_t& value) {
  if (!isNumber(text, units.micrometres)) return POSITION_MALFORMED;
  int64_t v = 0;
  if (!units.parse(text, v)) return POSITION_OUT_OF_RANGE;
  value = (int32_t)v;
  return POSITION_OK;
}

// "x, y" (or "x y") in the units shown, blanks allowed around either.
ParseResult parsePosition(const DisplayUnits& units, const std::string& text, int32_t& x, int32_t& y) {
  size_t split = text.find(',');
  size_t rest = split + 1;
  if (split == std::string::npos) {
    // The two numbers need a comma or a blank between them.
    const size_t first = text.find_first_not_of(" \t");
    split = first == std::string::npos ? std::string::npos : text.find_first_of(" \t", first);
    if (split == std::string::npos) return POSITION_MALFORMED;
    rest = split;
  }
  const ParseResult first = readCoordinate(units, text.substr(0, split), x);
  if (first == POSITION_MALFORMED) return first;
  const ParseResult second = readCoordinate(units, text.substr(rest), y);
  if (second == POSITION_MALFORMED) return second;
  return first == POSITION_OK ? second : first;
}

}  // namespace

// Ask for a position, starting from the one at the canvas's centre, and
// centre the view on it; a malformed or out-of-range answer is refused
// with the reason, the view unchanged.
long KivoWindow::onCmdGoTo(FXObject*, FXSelector, void*) {
  int cx, cy;
  const ViewTransform& current = sizedView();
  toLayout(current.width / 2, current.height / 2, cx, cy);
  FXString text = (units.format(cx) + ", " + units.format(cy)).c_str();
  syncRecoveryJournal();
  if (!FXInputDialog::getString(text, this, "Go To", "Position (x, y):")) return 1;
  int32_t x = 0, y = 0;
  switch (parsePosition(units, text.text(), x, y)) {
    case POSITION_OK:
      centreOn(x, y);
      setStatusMessage(("centred on " + units.format(x) + ", " + units.format(y)).c_str());
      break;
    case POSITION_MALFORMED: {
      FXString why = "Not a position: \"" + text + "\"\nGive it as x, y in " +
                     (units.micrometres ? "micrometres, for example 1.2, -0.4." : "layout units, for example 120, -40.");
      FXMessageBox::error(this, MBOX_OK, "Error!", "%s", why.text());
      break;
    }
    case POSITION_OUT_OF_RANGE: {
      FXString why = ("Out of range: \"" + std::string(text.text()) + "\"\nx and y must lie within " +
                      units.format(INT32_MIN) + " .. " + units.format(INT32_MAX) + ".").c_str();
      FXMessageBox::error(this, MBOX_OK, "Error!", "%s", why.text());
      break;
    }
  }
  return 1;
}

// The middle of the unit goes to the canvas's centre pixel, so the status
// bar reads (x, y) there.
void KivoWindow::centreOn(int32_t x, int32_t y) {
  ViewTransform& v = sizedView();
  v.placeAt(x + 0.5, y + 0.5, v.width / 2, v.height / 2);
  canvas->update();
}

// Fit the band as Show All fits the layout, then centre it: the band's
// longer side (for the canvas's shape) spans the canvas.
void KivoWindow::zoomToBand(const Rect& band) {
  // The corners are the press and release points; between them in 64 bits,
  // as a drag may span more than 2^31 units.
  const int32_t ax = band.getX(), bx = wrapAdd(ax, band.getW());
  const int32_t ay = band.getY(), by = wrapAdd(ay, band.getH());
  const int64_t x0 = std::min(ax, bx), x1 = std::max(ax, bx);
  const int64_t y0 = std::min(ay, by), y1 = std::max(ay, by);
  if (x1 == x0 || y1 == y0) return;  // a line or a click: nothing to fit
  ViewTransform& v = sizedView();
  Rect fit;  // its size wraps past 2^31 units, as showAll reads it
  fit.setRect((int32_t)x0, (int32_t)y0, (int32_t)(uint32_t)(x1 - x0), (int32_t)(uint32_t)(y1 - y0));
  v.showAll(fit);
  v.placeAt((x0 + x1) / 2.0, (y0 + y1) / 2.0, v.width / 2, v.height / 2);
  canvas->update();
}
