#include "io/PictureExport.h"

#include <FXPNGImage.h>
#include <GL/gl.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <ostream>

namespace {

// A side typed with more digits than this is too large whatever it says;
// five digits hold every allowed side.
const size_t MAX_SIDE_DIGITS = 9;

// Reads a whole number at text[at], skipping blanks before it; -1 when there
// is none.
long readSide(const std::string& text, size_t& at) {
  while (at < text.size() && std::isspace((unsigned char)text[at])) at++;
  size_t start = at;
  long value = 0;
  while (at < text.size() && std::isdigit((unsigned char)text[at])) {
    if (at - start < MAX_SIDE_DIGITS) value = value * 10 + (text[at] - '0');
    at++;
  }
  if (at == start) return -1;
  return at - start > MAX_SIDE_DIGITS ? PICTURE_MAX_SIDE + 1L : value;
}

}  // namespace

bool parsePictureSize(const std::string& text, int& width, int& height, std::string& why) {
  size_t at = 0;
  const long w = readSide(text, at);
  while (at < text.size() && std::isspace((unsigned char)text[at])) at++;
  const bool separated = at < text.size() && (text[at] == 'x' || text[at] == 'X' || text[at] == ',');
  if (separated) at++;
  const long h = separated ? readSide(text, at) : -1;
  while (at < text.size() && std::isspace((unsigned char)text[at])) at++;
  const std::string limit = std::to_string(PICTURE_MAX_SIDE);
  if (w < 0 || h < 0 || at != text.size()) {
    why = "The size must be two whole numbers of pixels, width x height, such as 1024 x 768.";
    return false;
  }
  if (w == 0 || h == 0) {
    why = "The width and the height must be at least 1 pixel.";
    return false;
  }
  if (w > PICTURE_MAX_SIDE || h > PICTURE_MAX_SIDE) {
    why = "The picture may be at most " + limit + " x " + limit + " pixels.";
    return false;
  }
  width = (int)w;
  height = (int)h;
  return true;
}

// The origin moves by half the difference of the two extents, which is
// exactly 0 at the canvas's size: the canvas's view comes back unchanged.
ViewTransform pictureView(const ViewTransform& canvas, int width, int height) {
  ViewTransform view = canvas;
  view.width = width;
  view.height = height;
  if (canvas.width <= 0 || canvas.height <= 0) return view;
  const double factor = std::max((double)width / canvas.width, (double)height / canvas.height);
  if (width != canvas.width || height != canvas.height) view.scale = (float)(canvas.scale * factor);
  const double scale = canvas.scale, wider = view.scale;
  view.originX = canvas.originX + (canvas.width / scale - width / wider) / 2;
  view.originY = canvas.originY + (canvas.height / scale - height / wider) / 2;
  return view;
}

// Tiles are placed from the picture's lower-left corner, as OpenGL counts
// rows; the picture's rows run from the top, as PNG stores them.
std::vector<FXColor> drawPicture(const ViewTransform& view, int tileWidth, int tileHeight,
                                 const TileDrawer& draw) {
  const int width = std::max(view.width, 0), height = std::max(view.height, 0);
  std::vector<FXColor> picture((size_t)width * height);
  if (tileWidth <= 0 || tileHeight <= 0) return picture;
  std::vector<uint8_t> tile((size_t)tileWidth * tileHeight * 4);
  for (int bottom = 0; bottom < height; bottom += tileHeight) {
    for (int left = 0; left < width; left += tileWidth) {
      ViewTransform part = view;
      part.width = tileWidth;
      part.height = tileHeight;
      part.originX = view.originX + left / (double)view.scale;
      part.originY = view.originY + bottom / (double)view.scale;
      draw(part);
      GLint drawBuffer = GL_BACK;
      glGetIntegerv(GL_DRAW_BUFFER, &drawBuffer);
      glReadBuffer((GLenum)drawBuffer);
      glPixelStorei(GL_PACK_ALIGNMENT, 4);
      glReadPixels(0, 0, tileWidth, tileHeight, GL_RGBA, GL_UNSIGNED_BYTE, tile.data());
      const int columns = std::min(tileWidth, width - left), rows = std::min(tileHeight, height - bottom);
      for (int r = 0; r < rows; r++) {
        const uint8_t* from = &tile[(size_t)r * tileWidth * 4];
        FXColor* to = &picture[(size_t)(height - 1 - (bottom + r)) * width + left];
        for (int c = 0; c < columns; c++, from += 4) to[c] = FXRGBA(from[0], from[1], from[2], 255);
      }
    }
  }
  return picture;
}

// The PNG is made in memory first, so that a failure to encode leaves the
// file on disk untouched.
SaveStatus savePicture(FXApp* app, const char* path, std::vector<FXColor>& pixels, int width, int height,
                       int& errorNumber) {
  FXPNGImage image(app, nullptr, 0, 1, 1);
  image.setData(pixels.data(), 0, width, height);  // not owned: the vector keeps the pixels
  FXMemoryStream stream;
  stream.open(FXStreamSave, nullptr);
  const bool encoded = image.savePixels(stream) && stream.status() == FXStreamOK;
  const FXlong size = stream.position();
  FXuchar* bytes = nullptr;
  FXuval capacity = 0;
  stream.takeBuffer(bytes, capacity);
  stream.close();
  image.setData(nullptr, 0, 1, 1);
  if (!encoded) {
    FXFREE(&bytes);
    errorNumber = ENOMEM;
    return SAVE_WRITE_FAILED;
  }
  const SaveStatus status =
      saveSafely(path, [&](std::ostream& out) { out.write((const char*)bytes, (std::streamsize)size); },
                 errorNumber);
  FXFREE(&bytes);
  return status;
}
