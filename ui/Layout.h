#pragma once
// Geometry of both windows, kept free of window handles so that the rules can be
// checked on their own. Every constant is in pixels at 96 dots per inch and is
// scaled with ScalePixels; at 96 DPI the figures come out unchanged.

#include <windows.h>

#include <array>
#include <cstddef>

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
    bool operator==(const TBounds&) const = default;
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

// How one scroll bar is set for the extent of the controls, the page the client
// area shows and the position asked for: a bar only where the extent exceeds the
// page, and a position within what can be scrolled.
struct TScrollBarSetting {
    int Max;    // 0: no bar
    UINT Page;  // 0: no bar
    int Position;
};
TScrollBarSetting ScrollBarSetting(int extent, int page, int position);

// The main window's design figures. Its design client area, 652 x 556, is what
// the design system's frame left of them.
constexpr int kFormOuterWidth = 660;
constexpr int kFormOuterHeight = 590;

// The main window's controls, in declaration order, which their ids follow.
enum TMainControl : std::size_t {
    ixBtnReadRegCategories,
    ixBtnTAVtoOL,
    ixBtnOLtoTAV,
    ixBtnSyncOLandTAV,
    ixLabel1,
    ixBtnClose,
    ixMemoReg,
    ixMemoPst,
    ixLabelOlVersion,
    ixLabelNoPstUsed,
    ixLabel2,
    ixLabel3,
    ixLabel4,
    ixLabel5,
    ixLabel6,
    ixLabel7,
    ixlbVersion,
    ixStoreChooser,
    ixLabelRegLacks,
    ixLabelPstLacks,
    kMainControlCount
};

// Where a control was designed, at 96 DPI (a width or height of 0: its text's),
// and the edges it keeps its distance to.
struct TControlGeometry {
    TBounds Design;
    unsigned Anchors;
};
const std::array<TControlGeometry, kMainControlCount>& MainWindowGeometry();

// What the main window's layout depends on: sizes in pixels at the window's DPI.
struct TMainWindowSizes {
    UINT Dpi;
    SIZE DesignClient;  // the client area that the design outer size leaves with this system's frame
    SIZE Client;
    int OuterWidth;
    std::array<SIZE, kMainControlCount> TextSizes;  // of the controls sized to their text
    std::array<bool, kMainControlCount> Shown;
    bool WindowShown;
};

struct TMainWindowLayout {
    std::array<TBounds, kMainControlCount> Bounds;  // client coordinates, before scrolling
    TScrollRange ScrollRange;
};

// Anchors first, then the column rule, then the rows that follow other controls.
// The scroll range counts the controls on show; while the window itself is
// hidden, every control, so that it opens with the bars it will need.
TMainWindowLayout MainWindowLayout(const TMainWindowSizes& sizes);
// The splash window has no frame: its outer size is its client size.
constexpr int kSplashWidth = 329;
constexpr int kSplashHeight = 154;
