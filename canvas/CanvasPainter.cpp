#include "canvas/CanvasPainter.h"
