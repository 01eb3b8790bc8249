#include "ui/Layout.h"

#include <algorithm>

namespace {

// One axis of the anchor rule. near/far: anchored to the left/top and right/bottom.
void AnchorAxis(int& position, int& extent, bool nearEdge, bool farEdge, int designSize, int size)
{
    const int growth = size - designSize;
    if (nearEdge && farEdge) {
        extent += growth;
    } else if (farEdge) {
        position += growth;
    } else if (!nearEdge) {
        const int centre = position + extent / 2;
        position = designSize > 0 ? MulDiv(centre, size, designSize) - extent / 2 : position;
    }
    extent = std::max(extent, 0);
}

}  // namespace

int ScalePixels(int pixels, UINT dpi)
{
    return dpi == kDesignDpi ? pixels : MulDiv(pixels, static_cast<int>(dpi), kDesignDpi);
}

TBounds AnchoredBounds(const TBounds& design, unsigned anchors, SIZE designClient, SIZE client)
{
    TBounds bounds = design;
    AnchorAxis(bounds.Left, bounds.Width, anchors & akLeft, anchors & akRight, designClient.cx, client.cx);
    AnchorAxis(bounds.Top, bounds.Height, anchors & akTop, anchors & akBottom, designClient.cy, client.cy);
    return bounds;
}

TColumnLayout ColumnLayout(int outerWidth, int memoRegLeft, UINT dpi)
{
    // Left margin 15, middle column 120, right margin and frame 25. The division
    // rounds toward zero; a window narrower than the margins gets empty memos.
    const int margins = ScalePixels(15 + 120 + 25, dpi);
    const int memoWidth = std::max((outerWidth - margins) / 2, 0);
    const int x = memoRegLeft + memoWidth;
    TColumnLayout layout{};
    layout.MemoWidth = memoWidth;
    layout.MemoPstLeft = x + ScalePixels(120, dpi);
    layout.Label1Left = x + ScalePixels(17, dpi);
    layout.MiddleLeft = x + ScalePixels(11, dpi);
    return layout;
}

void ExtendScrollRange(TScrollRange& range, const TBounds& bounds, unsigned anchors)
{
    if ((anchors & (akLeft | akRight)) == akLeft)
        range.Horizontal = std::max(range.Horizontal, bounds.Right());
    if ((anchors & (akTop | akBottom)) == akTop)
        range.Vertical = std::max(range.Vertical, bounds.Bottom());
}
