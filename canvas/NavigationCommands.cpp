// Go To a position, and zooming to the band of a right drag with Shift.
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstdint>

#include "app/KivoWindow.h"

namespace {

enum ParseResult { POSITION_OK, POSITION_MALFORMED, POSITION_OUT_OF_RANGE };

bool isBlank(char c) { return c == ' ' || c == '\t'; }

// One whole number in layout units: its sign and digits after optional blanks.
ParseResult readCoordinate(const char*& p, int32_t& value) {
  while (isBlank(*p)) p++;
  if (!(*p == '-' || *p == '+' || (*p >= '0' && *p <= '9'))) return POSITION_MALFORMED;
  char* end = nullptr;
  errno = 0;
  const long long v = std::strtoll(p, &end, 10);
  if (end == p) return POSITION_MALFORMED;
  p = end;
  if (errno == ERANGE || v < INT32_MIN || v > INT32_MAX) return POSITION_OUT_OF_RANGE;
  value = (int32_t)v;
  return POSITION_OK;
}

// "x, y" (or "x y") in whole layout units, blanks allowed around either.
ParseResult parsePosition(const char* text, int32_t& x, int32_t& y) {
  const char* p = text;
  ParseResult first = readCoordinate(p, x);
  if (first == POSITION_MALFORMED) return first;
  const char* gap = p;
  while (isBlank(*p)) p++;
  if (*p == ',') p++;
  else if (p == gap) return POSITION_MALFORMED;  // the two numbers need a comma or a blank between
  ParseResult second = readCoordinate(p, y);
  if (second == POSITION_MALFORMED) return second;
  while (isBlank(*p)) p++;
  if (*p != '\0') return POSITION_MALFORMED;
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
  FXString text;
  text.format("%d, %d", cx, cy);
  syncRecoveryJournal();
  if (!FXInputDialog::getString(text, this, "Go To", "Position (x, y):")) return 1;
  int32_t x = 0, y = 0;
  switch (parsePosition(text.text(), x, y)) {
    case POSITION_OK:
      centreOn(x, y);
      setStatusMessage("centred on " + FXStringVal(x) + ", " + FXStringVal(y));
      break;
    case POSITION_MALFORMED: {
      FXString why = "Not a position: \"" + text + "\"\nGive it as x, y in layout units, for example 120, -40.";
      FXMessageBox::error(this, MBOX_OK, "Error!", "%s", why.text());
      break;
    }
    case POSITION_OUT_OF_RANGE: {
      FXString why = "Out of range: \"" + text + "\"\nx and y must lie within -2147483648 .. 2147483647.";
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
