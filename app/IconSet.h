#ifndef KIVO_ICONSET_H
#define KIVO_ICONSET_H

// The GIF image of each of the 43 icon slots, compiled in from icons/.
extern const unsigned char* const iconImages[43];

#endif
