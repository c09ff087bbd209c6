#ifndef KIVO_MOUSERECT_H
#define KIVO_MOUSERECT_H

#include "model/Rect.h"

// Edit modes of the left button. The second hex digit is the family:
// 1 = selection (band drawn dashed), 2 = adding (band drawn solid).
enum {
  TRACK_NONE = 0,
  TRACK_SELECT_FAMILY = 0x100,
  TRACK_ADD_FAMILY = 0x200,
  TRACK_SELECT = 0x101,
  TRACK_DESELECT = 0x102,
  TRACK_TOGGLE = 0x103,
  TRACK_ADD = 0x201,
};

// The rubber band of the mouse. Its Rect part is the band, always
// normalised; the state words follow each button's drag (0 idle,
// 1 dragging, -1 refused because the other button was dragging).
class MouseRect : public Rect {
public:
  int32_t leftState = 0;
  int32_t rightState = 0;
  int32_t curX = 0;
  int32_t curY = 0;
  int32_t pressX = 0;
  int32_t pressY = 0;
  int32_t mode = 0;

  ~MouseRect() override;

  void leftPress(int32_t px, int32_t py);
  void leftRelease(int32_t px, int32_t py);
  void rightPress(int32_t px, int32_t py);
  void rightRelease(int32_t px, int32_t py);
  void track(int32_t px, int32_t py);
  int32_t setMode(int32_t m);
  int32_t getMode() const { return mode; }
  int32_t getCurX() const { return curX; }
  int32_t getCurY() const { return curY; }

private:
  void press(int32_t& state, int32_t px, int32_t py);
  void release(int32_t& state, int32_t px, int32_t py);
  void stretchTo(int32_t px, int32_t py);
};

#endif
