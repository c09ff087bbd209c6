#ifndef KIVO_EDGESNAP_H
#define KIVO_EDGESNAP_H

#include <cstdint>

class Layout;
class TopmostFinder;

// The point a ruler's end moves to: the nearest point of a shape's edge
// within reach layout units of (px, py), to the nearest unit, into (x, y);
// false, (x, y) unchanged, when no edge is that near. The shapes are those
// of the enabled layers, of the shown cell and inside its placed cells as
// placed (turned, mirrored, magnified): boxes, polygons and paths by their
// outlines, a path of width 0 by its centre line. Labels have no edges.
// shapes finds those near the point (and builds its grids when needed).
bool snapToEdge(const Layout& layout, TopmostFinder& shapes, double reach, double px, double py, int32_t& x,
                int32_t& y);

#endif
