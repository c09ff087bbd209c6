#include "canvas/EdgeProbe.h"

#include <GL/gl.h>

#include <cstring>

namespace {

// Each distinct edge coordinate near a pixel centre is asked with a probe
// in a row (or column) pair of its own at the frame's edge; a centre gets
// SLOTS of them, which covers the distinct edges a whole view puts near one
// centre while keeping the read-back small. Boxes with edges beyond those
// are drawn by OpenGL.
const int SLOTS = 8;

}  // namespace

bool nearOnOneAxis(const DrawCorners& c, const PixelMap& map, EdgeBox& box) {
  AxisSpan sx, sy;
  if (!(map.usable && c.x0 < c.x1 && c.y0 < c.y1 &&
        axisSpan((c.x0 - map.left) * map.kx, (c.x1 - map.left) * map.kx, map.sureMarginX, map.width, sx) &&
        axisSpan((c.y0 - map.bottom) * map.ky, (c.y1 - map.bottom) * map.ky, map.sureMarginY, map.height, sy)))
    return false;
  bool nearX = sx.nearLo >= 0 || sx.nearHi >= 0, nearY = sy.nearLo >= 0 || sy.nearHi >= 0;
  if (nearX == nearY) return false;
  const AxisSpan& near = nearX ? sx : sy;
  const AxisSpan& other = nearX ? sy : sx;
  box.lo = nearX ? c.x0 : c.y0, box.hi = nearX ? c.x1 : c.y1;
  box.first = (int16_t)near.lo, box.last = (int16_t)near.hi;
  box.nearLo = (int16_t)near.nearLo, box.nearHi = (int16_t)near.nearHi;
  box.otherFirst = (int16_t)other.lo, box.otherLast = (int16_t)other.hi;
  box.alongY = !nearX;
  return true;
}

void probeEdges(const ViewTransform& view, const PixelMap& map, VertexBuffer& vertices, const EdgeBox* boxes,
                size_t n, BigVector<ProbedSpan>& out) {
  // Per kind (x low, x high, y low, y high) and centre, the edges asked
  // there: few fall near one centre, so a short scan finds each.
  struct Centre {
    float edges[SLOTS];
    bool covers[SLOTS];
    uint8_t count = 0;
  };
  std::vector<Centre> table[4];
  table[0].resize(view.width), table[1].resize(view.width);
  table[2].resize(view.height), table[3].resize(view.height);
  // The slot of an edge at a centre, or -1 when the centre has none left.
  auto slotOf = [&](int kind, float edge, int centre) {
    Centre& c = table[kind][centre];
    for (int k = 0; k < c.count; k++)
      if (c.edges[k] == edge) return k;
    if (c.count == SLOTS) return -1;
    c.edges[c.count] = edge, c.covers[c.count] = false;
    return (int)c.count++;
  };
  std::vector<int8_t> slotLo(n, -1), slotHi(n, -1);
  bool full = false;  // some edge found no slot
  for (size_t k = 0; k < n; k++) {
    const EdgeBox& b = boxes[k];
    int kind = b.alongY ? 2 : 0;
    if (b.nearLo >= 0) full |= (slotLo[k] = (int8_t)slotOf(kind, b.lo, b.nearLo)) < 0;
    if (b.nearHi >= 0) full |= (slotHi[k] = (int8_t)slotOf(kind + 1, b.hi, b.nearHi)) < 0;
  }
  // Drawing coordinates of a window position.
  auto atX = [&](double w) { return (float)(map.left + w / map.kx); };
  auto atY = [&](double w) { return (float)(map.bottom + w / map.ky); };
  pushBitDrawing(0, true);
  // Both axes in one pass: the x probes in red along the bottom rows, the
  // y probes in green along the left columns, so that where the two strips
  // cross each probe keeps its own channel.
  glClear(GL_COLOR_BUFFER_BIT);
  for (int alongY = 0; alongY < 2; alongY++) {
    glColor4ub(alongY ? 0 : 255, alongY ? 255 : 0, 0, 255);
    for (int kind = 2 * alongY; kind < 2 * alongY + 2; kind++)
      for (size_t centre = 0; centre < table[kind].size(); centre++) {
        const Centre& c = table[kind][centre];
        for (int slot = 0; slot < c.count; slot++) {
          double line = (kind & 1) + 2 * slot;  // the probe's row or column
          const float edge = c.edges[slot];
          float a0 = kind & 1 ? (alongY ? atY(centre + 0.25) : atX(centre + 0.25)) : edge;
          float a1 = kind & 1 ? edge : (alongY ? atY(centre + 0.75) : atX(centre + 0.75));
          if (alongY)
            vertices.push(DrawCorners(atX(line + 0.25), a0, atX(line + 0.75), a1));
          else
            vertices.push(DrawCorners(a0, atY(line + 0.25), a1, atY(line + 0.75)));
        }
      }
    vertices.flush();
  }
  for (int alongY = 0; alongY < 2; alongY++) {
    int w = alongY ? 2 * SLOTS : view.width, h = alongY ? view.height : 2 * SLOTS;
    std::vector<uint8_t> read((size_t)w * h * 4);
    glReadPixels(0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, read.data());
    for (int kind = 2 * alongY; kind < 2 * alongY + 2; kind++)
      for (size_t centre = 0; centre < table[kind].size(); centre++) {
        Centre& c = table[kind][centre];
        for (int slot = 0; slot < c.count; slot++) {
          int line = (kind & 1) + 2 * slot;
          size_t at = alongY ? centre * w + line : (size_t)line * w + centre;
          c.covers[slot] = read[at * 4 + alongY] != 0;
        }
      }
  }
  glClear(GL_COLOR_BUFFER_BIT);
  glPopAttrib();

  out.resize(n);
  for (size_t k = 0; k < n; k++) {
    const EdgeBox& b = boxes[k];
    const int kind = b.alongY ? 2 : 0;
    ProbedSpan& s = out[k];
    s.asked = !full || !((b.nearLo >= 0 && slotLo[k] < 0) || (b.nearHi >= 0 && slotHi[k] < 0));
    s.first = b.first, s.last = b.last;
    bool loOn = b.nearLo >= 0 && slotLo[k] >= 0 && table[kind][b.nearLo].covers[slotLo[k]];
    bool hiOn = b.nearHi >= 0 && slotHi[k] >= 0 && table[kind + 1][b.nearHi].covers[slotHi[k]];
    if (b.nearLo >= 0 && b.nearLo == b.nearHi) loOn = hiOn = loOn && hiOn;
    if (loOn) s.first = b.nearLo;
    if (hiOn) s.last = b.nearHi;
  }
}
