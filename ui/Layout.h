#pragma once
// Geometry of both windows, kept free of window handles so that the rules can be
// checked on their own. Every constant is in pixels at 96 dots per inch and is
// scaled with ScalePixels; at 96 DPI the figures come out unchanged.

#include <windows.h>

enum TAnchor : unsigned {
    akLeft = 1,
    akTop = 2,
    akRight = 4,
    akBottom = 8,
};
constexpr unsigned kDefaultAnchors = akLeft | akTop;

constexpr UINT kDesignDpi = 96;

int ScalePixels(int pixels, UINT dpi);

struct TBounds {
    int Left;
    int Top;
    int Width;
    int Height;
    int Right() const { return Left + Width; }
    int Bottom() const { return Top + Height; }
};

// Where a control stands once the client area has grown or shrunk from the one
// it was designed in. An edge the control is anchored to keeps its distance; a
// control anchored to neither side keeps its centre at the same fraction.
// Sizes never go below zero.
TBounds AnchoredBounds(const TBounds& design, unsigned anchors, SIZE designClient, SIZE client);

// The main window's column rule for a given outer width.
struct TColumnLayout {
    int MemoWidth;    // both memos
    int MemoPstLeft;  // also Label3
    int Label1Left;
    int MiddleLeft;   // the middle column's buttons and LabelNoPstUsed
};
TColumnLayout ColumnLayout(int outerWidth, int memoRegLeft, UINT dpi);

// The extent that the window's scroll bars must reach: only controls tied to the
// left (or top) edge alone count, since the others follow the client area anyway.
struct TScrollRange {
    int Horizontal;
    int Vertical;
};
void ExtendScrollRange(TScrollRange& range, const TBounds& bounds, unsigned anchors);

// The main window's design figures. Its design client area, 652 x 556, is what
// the design system's frame left of them.
constexpr int kFormOuterWidth = 660;
constexpr int kFormOuterHeight = 590;
// The splash window has no frame: its outer size is its client size.
constexpr int kSplashWidth = 329;
constexpr int kSplashHeight = 154;
