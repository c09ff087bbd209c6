#include "canvas/StrokeFont.h"

#include <algorithm>
#include <cmath>

namespace {

// Printable ASCII from the space on; see glyphStrokes for the encoding.
// Dots and the like are one-step strokes, so that every glyph is lines.
const char* const GLYPHS[95] = {
    "",                                  // space
    "2926 2324",                         // !
    "1918 3938",                         // "
    "1319 3339 0545 0747",               // #
    "483919080716364544331304 2922",     // $
    "0349 0919180809 3444433334",        // %
    "4317182938370504132345",            // &
    "2928",                              // '
    "39171533",                          // (
    "19373513",                          // )
    "2428 0547 0745",                    // *
    "2428 0646",                         // +
    "2412",                              // ,
    "0646",                              // -
    "2324",                              // .
    "0349",                              // /
    "0343490903 0349",                   // 0
    "1829 2923 1333",                    // 1
    "08193948470343",                    // 2
    "094926364544331304",                // 3
    "33390545",                          // 4
    "490906364544331304",                // 5
    "39190804133344453606",              // 6
    "094913",                            // 7
    "16070819394847361605041333444536",  // 8
    "13334448391908071646",              // 9
    "2627 2324",                         // :
    "2627 2412",                         // ;
    "480644",                            // <
    "0545 0747",                         // =
    "084604",                            // >
    "08193948472625 2324",               // ?
    "1535371715 35344448391908041343",   // @
    "032943 1636",                       // A
    "03093948473606 3645443303",         // B
    "4839190804133344",                  // C
    "03093948443303",                    // D
    "49090343 0636",                     // E
    "490903 0636",                       // F
    "48391908041333444626",              // G
    "0309 4349 0646",                    // H
    "1939 2923 1333",                    // I
    "294944331304",                      // J
    "0309 4905 1643",                    // K
    "090343",                            // L
    "0309264943",                        // M
    "03094349",                          // N
    "130408193948443313",                // O
    "03093948473606",                    // P
    "130408193948443313 2542",           // Q
    "03093948473606 2643",               // R
    "483919080716364544331304",          // S
    "0949 2923",                         // T
    "090413334449",                      // U
    "092349",                            // V
    "0913263349",                        // W
    "0349 0943",                         // X
    "092649 2623",                       // Y
    "09490343",                          // Z
    "39191333",                          // [
    "0943",                              // backslash
    "19393313",                          // ]
    "062946",                            // ^
    "0242",                              // _
    "1928",                              // `
    "17374643 451504133344",             // a
    "09033344463707",                    // b
    "471706041343",                      // c
    "49431304061747",                    // d
    "054546371706041343",                // e
    "4839291813 0737",                   // f
    "471706041343 4742311102",           // g
    "0903 0617374643",                   // h
    "2723 2829",                         // i
    "3732211102 3839",                   // j
    "0903 4705 2643",                    // k
    "19292433",                          // l
    "0307 06172623 26374643",            // m
    "0307 0617374643",                   // n
    "130406173746443313",                // o
    "0701 073746443303",                 // p
    "4741 471706041343",                 // q
    "0307 052747",                       // r
    "4717061535443303",                  // s
    "19142343 0737",                     // t
    "0704133344 4743",                   // u
    "072347",                            // v
    "0713263347",                        // w
    "0347 0743",                         // x
    "0723 4711",                         // y
    "07470343",                          // z
    "39282716252433",                    // {
    "2921",                              // |
    "19282736252413",                    // }
    "06173647",                          // ~
};

const char* const UNKNOWN_GLYPH = "0343490903";

// The rotation's cosine and sine, exact for whole quarter turns so that
// upright and turned labels land on whole units where the font does.
void rotation(double degrees, double& c, double& s) {
  double turns = degrees / 90.0;
  if (std::isfinite(turns) && turns == std::floor(turns)) {
    static const double cs[4][2] = {{1, 0}, {0, 1}, {-1, 0}, {0, -1}};
    int q = (int)std::fmod(std::fmod(turns, 4.0) + 4.0, 4.0);
    c = cs[q][0], s = cs[q][1];
    return;
  }
  double radians = std::isfinite(degrees) ? degrees * (3.14159265358979323846 / 180.0) : 0.0;
  c = std::cos(radians), s = std::sin(radians);
}

int32_t saturate(double v) {
  if (!(v > -2147483648.0)) return std::isnan(v) ? 0 : INT32_MIN;
  return v < 2147483647.0 ? (int32_t)v : INT32_MAX;
}

}  // namespace

const char* glyphStrokes(unsigned char c) { return c >= 32 && c < 127 ? GLYPHS[c - 32] : UNKNOWN_GLYPH; }

Rect labelStrokes(const LabelText& label, double unitsPerMicrometre, std::vector<StrokeSegment>& out) {
  double height = std::fabs(label.magnification) * unitsPerMicrometre;
  if (!std::isfinite(height)) height = 0;
  const double step = height / GLYPH_CAP_HEIGHT;  // layout units per grid step
  const int n = (int)label.text.size();
  const double textWidth = n > 0 ? n * GLYPH_ADVANCE - (GLYPH_ADVANCE - GLYPH_WIDTH) : 0;
  int horizontal = label.presentation & 3, vertical = (label.presentation >> 2) & 3;
  double dx = horizontal == JUSTIFY_CENTRE ? -textWidth / 2 : horizontal == JUSTIFY_RIGHT ? -textWidth : 0;
  double dy = vertical == JUSTIFY_MIDDLE ? -GLYPH_CAP_HEIGHT / 2.0 : vertical == JUSTIFY_BOTTOM ? 0 : -GLYPH_CAP_HEIGHT;
  const double flip = (label.strans & STRANS_REFLECT) ? -1.0 : 1.0;
  double c, s;
  rotation(label.angle, c, s);
  const double ax = label.x, ay = label.y;
  double x0 = ax, y0 = ay, x1 = ax, y1 = ay;
  auto place = [&](double gx, double gy, double& x, double& y) {
    double u = (gx + dx) * step, v = (gy + dy) * step * flip;
    x = ax + u * c - v * s, y = ay + u * s + v * c;
    x0 = std::min(x0, x), x1 = std::max(x1, x), y0 = std::min(y0, y), y1 = std::max(y1, y);
  };
  for (int i = 0; i < n; i++) {
    const char* p = glyphStrokes((unsigned char)label.text[i]);
    double px = 0, py = 0;
    bool started = false;
    for (; *p; p++) {
      if (*p == ' ') {
        started = false;
        continue;
      }
      double x, y;
      place(i * GLYPH_ADVANCE + (p[0] - '0'), (p[1] - '0') - GLYPH_DESCENT - 1, x, y);
      p++;
      if (started) out.push_back({px, py, x, y});
      px = x, py = y, started = true;
    }
  }
  const double arm = height * ANCHOR_ARM_PER_HEIGHT;
  out.push_back({ax - arm, ay, ax + arm, ay});
  out.push_back({ax, ay - arm, ax, ay + arm});
  x0 = std::min(x0, ax - arm), x1 = std::max(x1, ax + arm), y0 = std::min(y0, ay - arm), y1 = std::max(y1, ay + arm);
  Rect bounds;
  int32_t left = saturate(std::floor(x0)), low = saturate(std::floor(y0));
  bounds.x = left, bounds.y = low;
  bounds.w = wrapSub(saturate(std::ceil(x1)), left), bounds.h = wrapSub(saturate(std::ceil(y1)), low);
  return bounds;
}
