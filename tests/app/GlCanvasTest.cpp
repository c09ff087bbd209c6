#include <GL/gl.h>
#include <gtest/gtest.h>

#include "support/GuiTest.h"

// The harness itself: a bare GL canvas under Xvfb is cleared to a colour, and
// both the GL back buffer and the window on screen read back that colour.
TEST(GlCanvasHarness, ClearedCanvasReadsBackItsColour) {
  FXApp* app = kivotest::app();
  FXMainWindow* window = new FXMainWindow(app, "probe", nullptr, nullptr, DECOR_ALL, 0, 0, 200, 150);
  FXGLVisual* visual = new FXGLVisual(app, VISUAL_DOUBLEBUFFER);
  FXGLCanvas* canvas = new FXGLCanvas(window, visual, (FXObject*)nullptr, 0, LAYOUT_FILL_X | LAYOUT_FILL_Y);
  window->create();
  window->show();
  kivotest::runFor(200);
  ASSERT_TRUE(canvas->makeCurrent());
  glViewport(0, 0, canvas->getWidth(), canvas->getHeight());
  glClearColor(0.0f, 128 / 255.0f, 1.0f, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT);
  canvas->swapBuffers();
  canvas->makeNonCurrent();

  const kivotest::Rgba expected{0, 128, 255, 255};
  int width = 0, height = 0;
  std::vector<kivotest::Rgba> gl = kivotest::readGlBuffer(canvas, width, height);
  ASSERT_EQ(width, 200);
  EXPECT_EQ(kivotest::pixelAt(gl, width, 100, 70), expected);
  std::vector<kivotest::Rgba> screen = kivotest::readWindow(canvas, width, height);
  EXPECT_EQ(kivotest::pixelAt(screen, width, 0, 0), expected);
  EXPECT_EQ(kivotest::pixelAt(screen, width, width - 1, height - 1), expected);
  delete window;
  delete visual;
  kivotest::settle();
}
