#ifndef KIVO_ICONS_H
#define KIVO_ICONS_H

// The compiled-in icons, named by what they show; each value is the number
// of its image file, icons/iconNN.xpm.
enum Icon {
  ICON_DOTS = 0,             // grey dot grid, unused
  ICON_COPY = 1,
  ICON_CUT = 2,
  ICON_DELETE = 3,
  ICON_NMOS = 4,             // green box lettered N
  ICON_PMOS = 5,             // teal box lettered P
  ICON_GROUP = 6,
  ICON_SWATCH_CONTACT = 7,
  ICON_SWATCH_NDIFF = 8,
  ICON_SWATCH_PDIFF = 9,
  ICON_SWATCH_METAL1 = 10,
  ICON_SWATCH_METAL2 = 11,
  ICON_SWATCH_METAL3 = 12,
  ICON_SWATCH_METAL4 = 13,
  ICON_SWATCH_METAL5 = 14,
  ICON_SWATCH_METAL6 = 15,
  ICON_SWATCH_NWELL = 16,
  ICON_SWATCH_OPTIONS = 17,
  ICON_SWATCH_POLY = 18,
  ICON_SWATCH_DOTS = 19,     // grey dot grid, unused
  ICON_LAYERS = 20,
  ICON_DOTS_2 = 21,          // grey dot grid, unused
  ICON_MODE_MULTI = 22,      // red M in a black square
  ICON_NEW = 23,
  ICON_OPEN = 24,
  ICON_SPEAKER = 25,
  ICON_PASTE = 26,
  ICON_KIVO = 27,            // the window icon
  ICON_BOX_SQUARE = 28,      // teal box holding a white square
  ICON_PULSE = 29,
  ICON_REDO = 30,
  ICON_SAVE = 31,
  ICON_SINE = 32,
  ICON_MODE_SINGLE = 33,     // green S in a black square
  ICON_DOUBLE_PULSE = 34,
  ICON_UNDO = 35,
  ICON_UNGROUP = 36,
  ICON_PROBE = 37,           // arrowhead on a stem over a ball
  ICON_BOX_CROSS = 38,       // teal box holding a blue cross
  ICON_GROUND = 39,          // knob on a stem over a bar with legs
  ICON_SHOW_ALL = 40,
  ICON_ZOOM_OUT = 41,
  ICON_ZOOM_IN = 42,
  ICON_COUNT = 43,
  ICON_NONE = -1,
};

#endif
