// The windows' geometry, free of window handles: the anchor and column rules,
// the scroll bars, and the main window's whole layout at 96 and 144 DPI.
#include "ui/Layout.h"

#include <gtest/gtest.h>

#include <array>
#include <ostream>

// For GoogleTest's messages.
void PrintTo(const TBounds& b, std::ostream* out)
{
    *out << "{" << b.Left << ", " << b.Top << ", " << b.Width << ", " << b.Height << "}";
}

namespace {

using TRects = std::array<TBounds, kMainControlCount>;

// Text extents as Wine's "MS Sans Serif" gives them, about: the layout only
// places what it is told.
std::array<SIZE, kMainControlCount> TextSizes(UINT dpi)
{
    std::array<SIZE, kMainControlCount> sizes{};
    const bool large = dpi == 144;
    sizes[ixLabelOlVersion] = large ? SIZE{270, 20} : SIZE{180, 13};
    sizes[ixLabel2] = large ? SIZE{177, 20} : SIZE{118, 13};
    sizes[ixLabel3] = large ? SIZE{144, 20} : SIZE{96, 13};
    sizes[ixLabel4] = large ? SIZE{126, 20} : SIZE{84, 13};
    sizes[ixLabel5] = large ? SIZE{198, 20} : SIZE{132, 13};
    sizes[ixLabel6] = large ? SIZE{258, 20} : SIZE{172, 13};
    sizes[ixLabel7] = large ? SIZE{143, 20} : SIZE{95, 13};
    sizes[ixlbVersion] = large ? SIZE{30, 20} : SIZE{20, 13};
    sizes[ixStoreChooser] = large ? SIZE{0, 29} : SIZE{0, 21};  // the closed box's height
    sizes[ixLabelRegLacks] = large ? SIZE{240, 20} : SIZE{160, 13};
    sizes[ixLabelPstLacks] = large ? SIZE{225, 20} : SIZE{150, 13};
    return sizes;
}

// The window on show as the store-in-use state has it: the notice and the
// chooser hidden.
TMainWindowSizes Sizes(UINT dpi, SIZE designClient, SIZE client, int outerWidth)
{
    TMainWindowSizes sizes{};
    sizes.Dpi = dpi;
    sizes.DesignClient = designClient;
    sizes.Client = client;
    sizes.OuterWidth = outerWidth;
    sizes.TextSizes = TextSizes(dpi);
    sizes.Shown.fill(true);
    sizes.Shown[ixLabelNoPstUsed] = false;
    sizes.Shown[ixStoreChooser] = false;
    sizes.WindowShown = true;
    return sizes;
}

struct TLayoutCase {
    const char* Name;
    TMainWindowSizes Sizes;
    TRects Expected;  // in declaration order
};

// The frame of the design system: 8 x 34 pixels at 96 DPI, 12 x 51 at 144.
const TLayoutCase kLayoutCases[] = {
    {"design size at 96 DPI: MemoPst moves from 384 to 385, lbVersion joins Label7",
     Sizes(96, {652, 556}, {652, 556}, 660),
     {{{276, 459, 100, 25}, {276, 81, 100, 25}, {276, 123, 100, 25}, {276, 165, 100, 25}, {282, 33, 85, 32},
       {560, 502, 75, 25}, {15, 33, 250, 450}, {385, 33, 250, 450}, {18, 490, 180, 13}, {276, 225, 92, 80},
       {18, 12, 118, 13}, {385, 12, 96, 13}, {18, 535, 84, 13}, {468, 535, 132, 13}, {102, 535, 172, 13},
       {18, 519, 95, 13}, {113, 519, 20, 13}, {489, 8, 146, 21}, {18, 504, 160, 13}, {385, 490, 150, 13}}}},
    {"grown to 901 x 700 at 96 DPI", Sizes(96, {652, 556}, {893, 666}, 901),
     {{{396, 569, 100, 25}, {396, 81, 100, 25}, {396, 123, 100, 25}, {396, 165, 100, 25}, {402, 33, 85, 32},
       {801, 612, 75, 25}, {15, 33, 370, 560}, {505, 33, 370, 560}, {18, 600, 180, 13}, {396, 225, 92, 80},
       {18, 12, 118, 13}, {505, 12, 96, 13}, {18, 645, 84, 13}, {709, 645, 132, 13}, {102, 645, 172, 13},
       {18, 629, 95, 13}, {113, 629, 20, 13}, {609, 8, 266, 21}, {18, 614, 160, 13}, {505, 600, 150, 13}}}},
    {"design size at 144 DPI: every figure scaled by half again, rounded",
     Sizes(144, {978, 834}, {978, 834}, 990),
     {{{415, 689, 150, 38}, {415, 122, 150, 38}, {415, 185, 150, 38}, {415, 248, 150, 38}, {424, 50, 128, 48},
       {840, 753, 113, 38}, {23, 50, 375, 675}, {578, 50, 375, 675}, {27, 735, 270, 20}, {415, 338, 138, 120},
       {27, 18, 177, 20}, {578, 18, 144, 20}, {27, 803, 126, 20}, {702, 803, 198, 20}, {153, 803, 258, 20},
       {27, 779, 143, 20}, {170, 779, 30, 20}, {734, 14, 219, 29}, {27, 756, 240, 20}, {578, 735, 225, 20}}}},
    {"grown to 1351 x 1053 at 144 DPI", Sizes(144, {978, 834}, {1339, 1002}, 1351),
     {{{595, 857, 150, 38}, {595, 122, 150, 38}, {595, 185, 150, 38}, {595, 248, 150, 38}, {604, 50, 128, 48},
       {1201, 921, 113, 38}, {23, 50, 555, 843}, {758, 50, 555, 843}, {27, 903, 270, 20}, {595, 338, 138, 120},
       {27, 18, 177, 20}, {758, 18, 144, 20}, {27, 971, 126, 20}, {1063, 971, 198, 20}, {153, 971, 258, 20},
       {27, 947, 143, 20}, {170, 947, 30, 20}, {914, 14, 399, 29}, {27, 924, 240, 20}, {758, 903, 225, 20}}}},
};

}  // namespace

TEST(MainWindowLayout, PlacesEveryControlAsTheWindowAlwaysHas)
{
    for (const TLayoutCase& c : kLayoutCases) {
        SCOPED_TRACE(c.Name);
        const TMainWindowLayout layout = MainWindowLayout(c.Sizes);
        for (std::size_t i = 0; i < kMainControlCount; ++i)
            EXPECT_EQ(layout.Bounds[i], c.Expected[i]) << "control " << i;
    }
}

TEST(MainWindowLayout, AHiddenControlWidensTheScrollRangeOnlyWhileTheWindowIsHidden)
{
    // Smaller than the design: the bars must reach the controls tied to the
    // left and top alone, the hidden notice (bottom 305) only before the window shows.
    TMainWindowSizes sizes = Sizes(96, {652, 556}, {400, 300}, 408);
    const TScrollRange shown = MainWindowLayout(sizes).ScrollRange;
    EXPECT_EQ(shown.Horizontal, 355);
    EXPECT_EQ(shown.Vertical, 190);
    sizes.WindowShown = false;
    const TScrollRange hidden = MainWindowLayout(sizes).ScrollRange;
    EXPECT_EQ(hidden.Horizontal, 355);
    EXPECT_EQ(hidden.Vertical, 305);
}

// The counts under the lists share the bottom rows with other controls: from
// the design width up they keep clear of them, the store's above Exit and the
// registry's between the Outlook version and the program's version.
TEST(MainWindowLayout, TheCountsUnderTheListsOverlapNoOtherControl)
{
    const auto overlaps = [](const TBounds& a, const TBounds& b) {
        return a.Left < b.Right() && b.Left < a.Right() && a.Top < b.Bottom() && b.Top < a.Bottom();
    };
    for (const auto& [dpi, design] : {std::pair{96u, SIZE{652, 556}}, {144u, SIZE{978, 834}}}) {
        for (int width = design.cx; width <= design.cx * 2; width += 37) {
            const int outer = width + (dpi == 96 ? 8 : 12);
            const TMainWindowLayout layout = MainWindowLayout(Sizes(dpi, design, {width, design.cy}, outer));
            for (const std::size_t count : {ixLabelRegLacks, ixLabelPstLacks}) {
                for (std::size_t i = 0; i < kMainControlCount; ++i) {
                    if (i == count || i == ixLabelNoPstUsed || i == ixStoreChooser)
                        continue;
                    EXPECT_FALSE(overlaps(layout.Bounds[count], layout.Bounds[i]))
                        << "count " << count << " and control " << i << " at " << width << " wide, " << dpi << " DPI";
                }
            }
        }
    }
}

TEST(ScrollBarSetting, ShowsABarOnlyBeyondThePageAndKeepsThePositionWithinIt)
{
    struct TCase {
        int Extent, Page, Position;
        TScrollBarSetting Expected;
    };
    const TCase cases[] = {
        {500, 400, 50, {499, 400, 50}},
        {500, 400, 150, {499, 400, 100}},  // scrolled past the end, as after a window grew
        {500, 400, -5, {499, 400, 0}},
        {400, 400, 30, {0, 0, 0}},         // fits exactly: no bar, back at the start
        {0, 300, 0, {0, 0, 0}},
    };
    for (const TCase& c : cases) {
        const TScrollBarSetting s = ScrollBarSetting(c.Extent, c.Page, c.Position);
        EXPECT_EQ(s.Max, c.Expected.Max) << c.Extent << " in " << c.Page;
        EXPECT_EQ(s.Page, c.Expected.Page) << c.Extent << " in " << c.Page;
        EXPECT_EQ(s.Position, c.Expected.Position) << c.Extent << " in " << c.Page << " at " << c.Position;
    }
}

TEST(ColumnLayout, SharesTheWidthBetweenTheMemosAroundAFixedMiddleColumn)
{
    const TColumnLayout design = ColumnLayout(660, 15, 96);
    EXPECT_EQ(design.MemoWidth, 250);
    EXPECT_EQ(design.MemoPstLeft, 385);
    EXPECT_EQ(design.Label1Left, 282);
    EXPECT_EQ(design.MiddleLeft, 276);

    const TColumnLayout wide = ColumnLayout(901, 15, 96);
    EXPECT_EQ(wide.MemoWidth, 370);
    EXPECT_EQ(wide.MemoPstLeft, 505);
    EXPECT_EQ(wide.Label1Left, 402);
    EXPECT_EQ(wide.MiddleLeft, 396);
}

TEST(ColumnLayout, NarrowWindowsGiveEmptyMemosNeverNegativeOnes)
{
    EXPECT_EQ(ColumnLayout(161, 15, 96).MemoWidth, 0);  // rounds toward zero
    EXPECT_EQ(ColumnLayout(162, 15, 96).MemoWidth, 1);
    EXPECT_EQ(ColumnLayout(159, 15, 96).MemoWidth, 0);
    const TColumnLayout tiny = ColumnLayout(100, 15, 96);
    EXPECT_EQ(tiny.MemoWidth, 0);
    EXPECT_EQ(tiny.MemoPstLeft, 135);
    EXPECT_EQ(ColumnLayout(0, 15, 96).MemoWidth, 0);
}

TEST(ColumnLayout, ScalesWithTheDpi)
{
    // 144 DPI: the design window is 990 wide and its memo starts at 23.
    const TColumnLayout layout = ColumnLayout(990, 23, 144);
    EXPECT_EQ(layout.MemoWidth, 375);
    EXPECT_EQ(layout.MemoPstLeft, 23 + 375 + 180);
    EXPECT_EQ(layout.Label1Left, 23 + 375 + 26);  // 17 * 1.5 rounds up
    EXPECT_EQ(layout.MiddleLeft, 23 + 375 + 17);  // 11 * 1.5 rounds up
    EXPECT_EQ(ScalePixels(660, 144), 990);
    EXPECT_EQ(ScalePixels(590, 96), 590);
}

class Anchors : public testing::Test {
protected:
    static constexpr SIZE kDesign{652, 556};
    static constexpr TBounds kControl{100, 400, 80, 50};

    static TBounds Grown(unsigned anchors, SIZE client) { return AnchoredBounds(kControl, anchors, kDesign, client); }
};

TEST_F(Anchors, LeftAndTopKeepThePlace)
{
    const TBounds b = Grown(kDefaultAnchors, {900, 700});
    EXPECT_EQ(b.Left, 100);
    EXPECT_EQ(b.Top, 400);
    EXPECT_EQ(b.Width, 80);
    EXPECT_EQ(b.Height, 50);
}

TEST_F(Anchors, AFarEdgeAloneMovesTheControlWithIt)
{
    const TBounds b = Grown(akRight | akBottom, {752, 506});
    EXPECT_EQ(b.Left, 200);
    EXPECT_EQ(b.Top, 350);
    EXPECT_EQ(b.Width, 80);
    EXPECT_EQ(b.Height, 50);
}

TEST_F(Anchors, BothEdgesStretchAndNeverBelowZero)
{
    const TBounds b = Grown(akLeft | akTop | akBottom, {652, 600});
    EXPECT_EQ(b.Top, 400);
    EXPECT_EQ(b.Height, 94);
    EXPECT_EQ(Grown(akTop | akBottom, {652, 300}).Height, 0);
}

TEST_F(Anchors, NeitherEdgeKeepsTheCentreAtItsFraction)
{
    // Centre 140 of 652 becomes 280 of 1304.
    const TBounds b = Grown(akTop, {1304, 556});
    EXPECT_EQ(b.Left, 240);
    EXPECT_EQ(b.Width, 80);
}

TEST(ScrollRange, CountsOnlyControlsTiedToTheNearEdgeAlone)
{
    TScrollRange range{0, 0};
    ExtendScrollRange(range, {10, 20, 100, 30}, kDefaultAnchors);
    ExtendScrollRange(range, {500, 500, 100, 30}, akRight | akBottom);
    ExtendScrollRange(range, {0, 0, 300, 900}, akLeft | akTop | akBottom);
    ExtendScrollRange(range, {0, 0, 900, 300}, akTop);
    EXPECT_EQ(range.Horizontal, 300);
    EXPECT_EQ(range.Vertical, 300);
}
