// Every caption of the real Pellorin.exe fits its control as it does on Windows,
// at 96 and at 144 DPI. Captions are measured here with the font Pellorin makes,
// inside the same Wine prefix and so through the same font mapping: a prefix
// without Wine's own fonts maps "MS Sans Serif" to a wider face, and fails.
#include "EndToEndTest.h"
#include "PellorinDriver.h"
#include "base/ProductInfo.h"
#include "ui/ControlIds.h"
#include "ui/Dpi.h"
#include "ui/Layout.h"

#include <gtest/gtest.h>

#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace {

struct TCaptionFont {
    int CharacterHeight;  // at 96 DPI, as the window's design gives it
    bool Bold;
    bool Underline;
};
constexpr TCaptionFont kRegular{11, false, false};
constexpr TCaptionFont kHeading{14, true, false};
constexpr TCaptionFont kNotice{13, true, false};

struct TMeasured {
    LONG Width;
    LONG Height;
    LONG LineHeight;
    std::wstring Face;  // what the prefix mapped "MS Sans Serif" to, for the messages
};

// wrapWidth 0: one line, as a push button or a label sized to its text draws it.
TMeasured Measure(const std::wstring& text, const TCaptionFont& font, UINT dpi, LONG wrapWidth = 0)
{
    const UniqueHfont handle = CreateUiFont(font.CharacterHeight, font.Bold, font.Underline, dpi);
    const HDC dc = GetDC(nullptr);
    const HGDIOBJ old = SelectObject(dc, handle.get());
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    wchar_t face[LF_FACESIZE] = {};
    GetTextFaceW(dc, static_cast<int>(std::size(face)), face);
    // The flags a static control with SS_CENTER draws with.
    const UINT format = DT_CALCRECT | DT_NOPREFIX | DT_EXPANDTABS |
                        (wrapWidth > 0 ? DT_CENTER | DT_WORDBREAK : DT_SINGLELINE);
    RECT box{0, 0, wrapWidth, 0};
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &box, format);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    return {box.right - box.left, box.bottom - box.top, metrics.tmHeight, face};
}

LONG WidthOf(const RECT& r) { return r.right - r.left; }
LONG HeightOf(const RECT& r) { return r.bottom - r.top; }

// Nothing a user reads lies under another control.
void ExpectNoControlCovers(const TPellorinProcess& app)
{
    std::vector<HWND> shown;
    for (int id = idBtnReadRegCategories; id <= idStoreChooser; ++id) {
        if (IsWindowVisible(app.Control(id)))
            shown.push_back(app.Control(id));
    }
    for (size_t i = 0; i < shown.size(); ++i) {
        for (size_t j = i + 1; j < shown.size(); ++j) {
            const RECT a = BoundsInParent(shown[i]);
            const RECT b = BoundsInParent(shown[j]);
            RECT overlap{};
            EXPECT_FALSE(IntersectRect(&overlap, &a, &b)) << TextOf(shown[i]) << " and " << TextOf(shown[j])
                                                          << " overlap from x " << overlap.left << " to "
                                                          << overlap.right;
        }
    }
}

}  // namespace

class CaptionFit : public PellorinEndToEnd, public testing::WithParamInterface<UINT> {
protected:
    void SetUp() override
    {
        PellorinEndToEnd::SetUp();
        if (IsSkipped())
            return;
        previousDpi_ = PrefixLogPixels();
        SetPrefixLogPixels(GetParam());
        // Outlook 2003 keeps every control of the window on show, the notice too.
        UseOutlook(L"11.0");
    }

    void TearDown() override
    {
        if (!IsSkipped())
            SetPrefixLogPixels(previousDpi_);
        PellorinEndToEnd::TearDown();
    }

    UINT Dpi() const { return GetParam(); }

    // Wrapped as the control wraps it, the caption stays inside the control.
    TMeasured ExpectWrappedCaptionInside(HWND control, const TCaptionFont& font) const
    {
        const RECT bounds = BoundsInParent(control);
        const TMeasured text = Measure(TextOf(control), font, Dpi(), WidthOf(bounds));
        EXPECT_LE(text.Width, WidthOf(bounds)) << TextOf(control) << " in " << text.Face;
        EXPECT_LE(text.Height, HeightOf(bounds)) << TextOf(control) << " in " << text.Face;
        return text;
    }

    DWORD previousDpi_ = 0;
};

TEST_P(CaptionFit, EveryCaptionFitsItsControlAndNoControlCoversAnother)
{
    TPellorinProcess app;
    const HWND main = app.WaitForWindow(L"TForm1");
    ASSERT_NE(main, nullptr);
    app.WaitForIdle();
    ASSERT_TRUE(IsWindowVisible(app.Control(idLabelNoPstUsed)));
    SaveScreenshot(L"captions-" + std::to_wstring(Dpi()) + L"dpi");

    // Labels sized to their text tell how wide Pellorin found it: the test's own
    // measure must agree, or its other figures prove nothing.
    for (const int id : {idLabel4, idLabel7, idLabelOlVersion}) {
        const HWND label = app.Control(id);
        const TMeasured text = Measure(TextOf(label), kRegular, Dpi());
        ASSERT_EQ(WidthOf(BoundsInParent(label)), text.Width) << TextOf(label) << " in " << text.Face;
    }

    // Two whole lines, not one clipped word.
    const TMeasured heading = ExpectWrappedCaptionInside(app.Control(idLabel1), kHeading);
    EXPECT_EQ(heading.Height, 2 * heading.LineHeight) << heading.Face;
    ExpectWrappedCaptionInside(app.Control(idLabelNoPstUsed), kNotice);

    // A push button draws its frame and its focus rectangle inside its edge.
    const LONG margin = ScalePixels(3, Dpi());
    for (const int id : {idBtnTAVtoOL, idBtnOLtoTAV, idBtnSyncOLandTAV, idBtnReadRegCategories, idBtnClose}) {
        const HWND button = app.Control(id);
        const RECT bounds = BoundsInParent(button);
        const TMeasured text = Measure(TextOf(button), kRegular, Dpi());
        EXPECT_LE(text.Width, WidthOf(bounds) - 2 * margin)
            << TextOf(button) << " in " << text.Face << ", button " << WidthOf(bounds);
        EXPECT_LE(text.Height, HeightOf(bounds) - 2 * margin) << TextOf(button) << " in " << text.Face;
    }

    const auto endsBefore = [&](int first, int second) {
        EXPECT_LE(BoundsInParent(app.Control(first)).right, BoundsInParent(app.Control(second)).left)
            << TextOf(app.Control(first)) << " runs into " << TextOf(app.Control(second));
    };
    endsBefore(idLabel4, idLabel6);
    // "Pellorin - version " and the number read as one text.
    const RECT label7 = BoundsInParent(app.Control(idLabel7));
    const RECT version = BoundsInParent(app.Control(idlbVersion));
    EXPECT_EQ(version.left, label7.right);
    EXPECT_EQ(version.top, label7.top);
    EXPECT_EQ(TextOf(app.Control(idLabel7)) + TextOf(app.Control(idlbVersion)),
              L"Pellorin - version " PELLORIN_VERSION_TEXT);

    // Nor does anything else a user reads lie under another control.
    ExpectNoControlCovers(app);

    PostMessageW(main, WM_CLOSE, 0, 0);
    EXPECT_EQ(app.WaitForExit(), 0u);
}

TEST_P(CaptionFit, TheStoreChooserStandsInItsLabelsRowAndEndsWithTheList)
{
    TStandInState state;
    state.Names = {L"Red"};
    state.OtherStores = {{L"Archive of every year since the first", {L"Old"}, {}, L"", L""}};
    WriteStandInState(state);
    TPellorinProcess app;
    const HWND main = app.WaitForWindow(L"TForm1");
    ASSERT_NE(main, nullptr);
    app.WaitForIdle();
    const HWND chooser = app.Control(idStoreChooser);
    ASSERT_TRUE(IsWindowVisible(chooser));
    const auto expectInPlace = [&] {
        const RECT label = BoundsInParent(app.Control(idLabel3));
        const RECT list = BoundsInParent(app.Control(idMemoPst));
        const RECT box = BoundsInParent(chooser);
        EXPECT_EQ(box.left, label.right + ScalePixels(8, Dpi()));
        EXPECT_EQ(box.right, list.right);
        EXPECT_LE(box.top, label.top);
        EXPECT_GE(box.bottom, label.bottom);
        ExpectNoControlCovers(app);
    };
    expectInPlace();
    SaveScreenshot(L"stores-" + std::to_wstring(Dpi()) + L"dpi");

    const LONG width = WidthOf(BoundsInParent(app.Control(idMemoPst)));
    SetWindowPos(main, nullptr, 0, 0, ScalePixels(901, Dpi()), ScalePixels(700, Dpi()),
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    EXPECT_TRUE(WaitUntil([&] { return WidthOf(BoundsInParent(app.Control(idMemoPst))) > width; }, 5000));
    app.WaitForIdle();
    expectInPlace();

    PostMessageW(main, WM_CLOSE, 0, 0);
    EXPECT_EQ(app.WaitForExit(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Dpi, CaptionFit, testing::Values(96u, 144u),
                         [](const testing::TestParamInfo<UINT>& info) { return "At" + std::to_string(info.param); });
