#ifndef KIVO_EDGEPROBE_H
#define KIVO_EDGEPROBE_H

// How OpenGL decides the pixel centres that boxes' edges lie too near to
// tell, asked once per distinct edge coordinate. A box whose edges come
// near centres on one axis only is covered, on that axis, by the centres
// each of its edges lets in: the rasteriser's decision at an axis-parallel
// edge depends on that edge's coordinate alone. Each coordinate gets a
// small probe quad, an edge at that coordinate beside a certain one, alone
// on its row (or column) pair at the frame's edge; the frame's colour buffer
// is used and left cleared.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "canvas/LayerDrawing.h"
#include "canvas/PixelMap.h"
#include "model/HugePages.h"

// The centres of a box's near axis OpenGL covers (first > last: none);
// asked false when one of its edges found no free probe row: the box is then
// for OpenGL to draw.
struct ProbedSpan {
  int first, last;
  bool asked;
};

// Probe the edges of boxes[0..n) (drawing coordinates through map, whose
// projection is loaded) and give each box its span in out.
void probeEdges(const ViewTransform& view, const PixelMap& map, VertexBuffer& vertices, const EdgeBox* boxes,
                size_t n, BigVector<ProbedSpan>& out);

// Set bit in the pixels of a box's probed span (out: a word per pixel, rows
// of width).
template <typename Word>
void setProbedPixels(Word* out, int width, const EdgeBox& b, const ProbedSpan& s, Word bit) {
  for (int u = s.first; u <= s.last; u++)
    for (int o = b.otherFirst; o <= b.otherLast; o++) out[b.alongY ? (size_t)u * width + o : (size_t)o * width + u] |= bit;
}

// Sort a box in drawing coordinates as the probes take it: true, with box
// filled in, when its edges come near centres on one axis only and it lies
// on the canvas.
bool nearOnOneAxis(const DrawCorners& c, const PixelMap& map, EdgeBox& box);

#endif
