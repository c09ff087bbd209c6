#include "canvas/KeptPicture.h"

#include <GL/gl.h>

#include "canvas/LayerDrawing.h"
#include "model/Layer.h"

PictureKey::PictureKey(const ViewTransform& v, const Layer layers[LAYER_COUNT]) : view(v, layers) {
  for (int i = 0; i < LAYER_COUNT; i++) revisions[i] = layers[i].getRevision();
}

bool PictureKey::operator==(const PictureKey& o) const {
  if (!(view == o.view) || scene != o.scene || sceneRevision != o.sceneRevision ||
      selectionRevision != o.selectionRevision)
    return false;
  for (int i = 0; i < LAYER_COUNT; i++)
    if (revisions[i] != o.revisions[i]) return false;
  return true;
}

namespace {

// Textures of OpenGL 1.1 have sides that are powers of two.
int powerOfTwoAtLeast(int n) {
  int p = 1;
  while (p < n && p < (1 << 30)) p <<= 1;
  return p;
}

}  // namespace

bool KeptPicture::ensureTexture(const ViewTransform& view) {
  if (view.width <= 0 || view.height <= 0) return false;
  if (texture && glIsTexture(texture) && view.width <= textureW && view.height <= textureH)
    return true;
  GLint bound = 0;
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
  if (!texture || !glIsTexture(texture)) glGenTextures(1, &texture);
  textureW = powerOfTwoAtLeast(view.width);
  textureH = powerOfTwoAtLeast(view.height);
  glBindTexture(GL_TEXTURE_2D, texture);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, textureW, textureH, 0, GL_RGBA, GL_UNSIGNED_BYTE,
               nullptr);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  glBindTexture(GL_TEXTURE_2D, (GLuint)bound);
  return glGetError() == GL_NO_ERROR;
}

void KeptPicture::keep(const ViewTransform& view, const PictureKey& k) {
  valid = false;
  if (!ensureTexture(view)) return;
  GLint drawBuffer = GL_BACK, readBuffer = GL_BACK;
  glGetIntegerv(GL_DRAW_BUFFER, &drawBuffer);
  glGetIntegerv(GL_READ_BUFFER, &readBuffer);
  glReadBuffer((GLenum)drawBuffer);
  GLint bound = 0;
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
  glBindTexture(GL_TEXTURE_2D, texture);
  glCopyTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 0, 0, view.width, view.height);
  glBindTexture(GL_TEXTURE_2D, (GLuint)bound);
  glReadBuffer((GLenum)readBuffer);
  valid = glGetError() == GL_NO_ERROR;
  key = k;
}

void KeptPicture::upload(const ViewTransform& view, const PictureKey& k, const uint8_t* pixels) {
  GLint bound = 0;
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
  glBindTexture(GL_TEXTURE_2D, texture);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
  glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, view.width, view.height, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
  glBindTexture(GL_TEXTURE_2D, (GLuint)bound);
  valid = glGetError() == GL_NO_ERROR;
  key = k;
}

// Nearest sampling at pixel centres reads each texel exactly once.
void KeptPicture::restore(const ViewTransform& view) {
  glViewport(0, 0, view.width, view.height);
  glClear(GL_DEPTH_BUFFER_BIT);
  glPushAttrib(GL_ENABLE_BIT | GL_TEXTURE_BIT | GL_POLYGON_BIT | GL_CURRENT_BIT);
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_BLEND);
  glDisable(GL_DITHER);
  glEnable(GL_TEXTURE_2D);
  glBindTexture(GL_TEXTURE_2D, texture);
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
  glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(0, view.width, 0, view.height, -1, 1);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  float s = (float)view.width / textureW, t = (float)view.height / textureH;
  glBegin(GL_QUADS);
  glTexCoord2f(0, 0);
  glVertex2i(0, 0);
  glTexCoord2f(s, 0);
  glVertex2i(view.width, 0);
  glTexCoord2f(s, t);
  glVertex2i(view.width, view.height);
  glTexCoord2f(0, t);
  glVertex2i(0, view.height);
  glEnd();
  glPopAttrib();
  loadProjection(view);
}

void KeptPicture::release() {
  if (texture && glIsTexture(texture)) glDeleteTextures(1, &texture);
  texture = 0;
  textureW = textureH = 0;
  valid = false;
}
