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

// The store chooser starts this far right of "Categories in PST:".
constexpr int kChooserGap = 8;

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

TScrollBarSetting ScrollBarSetting(int extent, int page, int position)
{
    const bool bar = extent > page;
    const int within = std::clamp(position, 0, std::max(extent - page, 0));
    return {bar ? extent - 1 : 0, bar ? static_cast<UINT>(page) : 0, within};
}

const std::array<TControlGeometry, kMainControlCount>& MainWindowGeometry()
{
    static const std::array<TControlGeometry, kMainControlCount> geometry{{
        {{276, 459, 100, 25}, akLeft | akBottom},           // BtnReadRegCategories
        {{276, 81, 100, 25}, kDefaultAnchors},              // BtnTAVtoOL
        {{276, 123, 100, 25}, kDefaultAnchors},             // BtnOLtoTAV
        {{276, 165, 100, 25}, kDefaultAnchors},             // BtnSyncOLandTAV
        {{282, 33, 85, 32}, kDefaultAnchors},               // Label1
        {{560, 502, 75, 25}, akRight | akBottom},           // BtnClose
        {{15, 33, 250, 450}, akLeft | akTop | akBottom},    // MemoReg
        {{384, 33, 250, 450}, akTop | akBottom},            // MemoPst
        {{18, 490, 0, 0}, akLeft | akBottom},               // LabelOlVersion
        {{276, 225, 92, 80}, kDefaultAnchors},              // LabelNoPstUsed
        {{18, 12, 0, 0}, kDefaultAnchors},                  // Label2
        {{385, 12, 0, 0}, kDefaultAnchors},                 // Label3
        {{18, 535, 0, 0}, akLeft | akBottom},               // Label4
        {{468, 535, 0, 0}, akRight | akBottom},             // Label5
        {{102, 535, 0, 0}, akLeft | akBottom},              // Label6
        {{18, 519, 0, 0}, akLeft | akBottom},               // Label7
        {{219, 519, 0, 0}, akLeft | akBottom},              // lbVersion
        // Placed by the column rule beside Label3, at its closed box's height.
        {{0, 0, 0, 0}, akTop},                              // StoreChooser
        // Under the Outlook version, which already stands under MemoReg.
        {{18, 504, 0, 0}, akLeft | akBottom},               // LabelRegLacks
        // Right under MemoPst, above Exit's top however narrow the window.
        {{385, 490, 0, 0}, akBottom},                       // LabelPstLacks
    }};
    return geometry;
}

TMainWindowLayout MainWindowLayout(const TMainWindowSizes& sizes)
{
    const auto& geometry = MainWindowGeometry();
    const UINT dpi = sizes.Dpi;
    TMainWindowLayout layout{};
    auto& bounds = layout.Bounds;
    for (std::size_t i = 0; i < geometry.size(); ++i) {
        const TBounds& d = geometry[i].Design;
        const TBounds design{ScalePixels(d.Left, dpi), ScalePixels(d.Top, dpi),
                             d.Width ? ScalePixels(d.Width, dpi) : sizes.TextSizes[i].cx,
                             d.Height ? ScalePixels(d.Height, dpi) : sizes.TextSizes[i].cy};
        bounds[i] = AnchoredBounds(design, geometry[i].Anchors, sizes.DesignClient, sizes.Client);
    }
    const TColumnLayout columns = ColumnLayout(sizes.OuterWidth, bounds[ixMemoReg].Left, dpi);
    bounds[ixMemoReg].Width = columns.MemoWidth;
    bounds[ixMemoPst].Width = columns.MemoWidth;
    bounds[ixMemoPst].Left = columns.MemoPstLeft;
    bounds[ixLabel3].Left = columns.MemoPstLeft;
    bounds[ixLabelPstLacks].Left = columns.MemoPstLeft;
    bounds[ixLabel1].Left = columns.Label1Left;
    for (const std::size_t i :
         {ixBtnTAVtoOL, ixBtnOLtoTAV, ixBtnSyncOLandTAV, ixLabelNoPstUsed, ixBtnReadRegCategories})
        bounds[i].Left = columns.MiddleLeft;
    // "Pellorin - version " and the number read as one text at every DPI: the
    // design's left of 219 was made for a longer name.
    bounds[ixlbVersion].Left = bounds[ixLabel7].Right();
    // The chooser stands in Label3's row and ends where MemoPst ends.
    const TBounds& label = bounds[ixLabel3];
    TBounds& chooser = bounds[ixStoreChooser];
    chooser.Left = label.Right() + ScalePixels(kChooserGap, dpi);
    chooser.Width = std::max(bounds[ixMemoPst].Right() - chooser.Left, 0);
    chooser.Top = label.Top + (label.Height - chooser.Height) / 2;

    for (std::size_t i = 0; i < geometry.size(); ++i) {
        if (sizes.Shown[i] || !sizes.WindowShown)
            ExtendScrollRange(layout.ScrollRange, bounds[i], geometry[i].Anchors);
    }
    return layout;
}
