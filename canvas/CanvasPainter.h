#ifndef KIVO_CANVASPAINTER_H
#define KIVO_CANVASPAINTER_H

// Draws the layers of the canvas and keeps what it can between paints.
class CanvasPainter {
public:
};

#endif
