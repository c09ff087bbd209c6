#ifndef KIVO_PICTUREEXPORT_H
#define KIVO_PICTUREEXPORT_H

#include <fx.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "canvas/ViewTransform.h"
#include "io/SafeSave.h"

// File > Export Picture: the layers and the selection as the canvas shows
// them, at any size up to PICTURE_MAX_SIDE pixels either way, as a PNG file.
//
// The picture is drawn by the canvas's own painter in the canvas's own
// OpenGL context, one canvas-sized tile after another (the back buffer is
// no larger than the canvas), each read back with glReadPixels and put in
// its place. At the canvas's size the one tile has the canvas's view, so
// the file holds the canvas's pixels exactly.

// 8192 pixels a side: 256 MiB of pixels at four bytes each, what a working
// machine can spare; posters beyond that are better drawn from GDSII.
const int PICTURE_MAX_SIDE = 8192;

// The size typed as "W x H" (also "WxH", "W X H" or "W, H"), each 1 to
// PICTURE_MAX_SIDE; false with the reason, a full sentence, otherwise.
bool parsePictureSize(const std::string& text, int& width, int& height, std::string& why);

// The view of a picture width x height pixels that the canvas's view
// fills: the same centre, the scale multiplied by the larger of
// width / canvas width and height / canvas height. At the canvas's size it
// is the canvas's view itself, to the last bit.
ViewTransform pictureView(const ViewTransform& canvas, int width, int height);

// Draws the picture of one tile's view (tile.width x tile.height, the
// canvas's size) into the current OpenGL context's back buffer.
using TileDrawer = std::function<void(const ViewTransform& tile)>;

// The picture of view, drawn in tiles of tileWidth x tileHeight pixels:
// width * height colours, rows from the top, every one opaque.
std::vector<FXColor> drawPicture(const ViewTransform& view, int tileWidth, int tileHeight,
                                 const TileDrawer& draw);

// Write the picture as PNG (FOX's FXPNGImage) to path through saveSafely:
// a temporary next to the file, renamed over it when complete.
SaveStatus savePicture(FXApp* app, const char* path, std::vector<FXColor>& pixels, int width, int height,
                       int& errorNumber);

#endif
