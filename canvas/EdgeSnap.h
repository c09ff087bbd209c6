#ifndef KIVO_EDGESNAP_H
#define KIVO_EDGESNAP_H

#include <cstdint>

class Layout;
struct CellScene;

// The point a ruler's end moves to: the nearest point of a shape's edge
// within reach layout units of (px, py), to the nearest unit, into (x, y);
// false, (x, y) unchanged, when no edge is that near. The
// shapes are those of the enabled layers: boxes, polygons and paths (by
// their outlines; a path of width 0 by its centre line) of the shown cell,
// and the boxes of the shapes inside its placed cells (scene, when given
// and prepared). Labels have no edges.
bool snapToEdge(const Layout& layout, const CellScene* scene, double reach, double px, double py, int32_t& x,
                int32_t& y);

#endif
