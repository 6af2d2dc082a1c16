// The in-memory templates orvane.exe builds: read back field by field, every control must
// come out with its id, rectangle, window class and the styles its kind asks for, in table
// order (the tab order), and the frame with its size, caption and 9-point font.
#include "platform/windows_text.h"
#include "ui/dialog_template.h"
#include "ui/win32/dialog_template_builder.h"

#include <cstring>
#include <gtest/gtest.h>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace orvane {
namespace {

// Reads WORDs from the front of a built template.
class TemplateReader {
  public:
    explicit TemplateReader(const std::vector<DWORD>& data) {
        words_.resize(data.size() * 2);
        std::memcpy(words_.data(), data.data(), data.size() * sizeof(DWORD));
    }
    WORD word() { return words_.at(at_++); }
    DWORD dword() {
        const WORD low = word();
        return MAKELONG(low, word());
    }
    std::wstring text() {
        std::wstring out;
        for (WORD c = word(); c != 0; c = word()) {
            out += static_cast<wchar_t>(c);
        }
        return out;
    }
    void alignToDword() { at_ += at_ % 2; }
    bool atEnd() const { return at_ == words_.size(); }

  private:
    std::vector<WORD> words_;
    std::size_t at_ = 0;
};

struct KindStyle {
    ControlKind kind;
    WORD classAtom;
    DWORD required;
    DWORD forbidden;
};

// What each kind must and must not carry. The log box wraps (no horizontal auto-scroll);
// statics send no clicks and take no focus.
const KindStyle kindStyles[] = {
    {ControlKind::Static, 0x0082, SS_LEFT, SS_NOTIFY | WS_TABSTOP},
    {ControlKind::ComboBox, 0x0085, CBS_DROPDOWN | CBS_SORT | WS_VSCROLL | WS_TABSTOP,
     CBS_DROPDOWNLIST & ~CBS_DROPDOWN},
    {ControlKind::PushButton, 0x0080, BS_PUSHBUTTON | WS_TABSTOP,
     BS_NOTIFY | BS_DEFPUSHBUTTON | BS_MULTILINE},
    {ControlKind::DefaultPushButton, 0x0080, BS_DEFPUSHBUTTON | WS_TABSTOP, BS_NOTIFY},
    {ControlKind::Edit, 0x0081, ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, ES_MULTILINE | ES_READONLY},
    {ControlKind::LogEdit, 0x0081, ES_MULTILINE | ES_READONLY | WS_BORDER | WS_VSCROLL | WS_TABSTOP,
     ES_AUTOHSCROLL | WS_HSCROLL},
    {ControlKind::Icon, 0x0082, SS_ICON, WS_TABSTOP},
};

const KindStyle& styleOf(ControlKind kind) {
    for (const KindStyle& style : kindStyles) {
        if (style.kind == kind) {
            return style;
        }
    }
    throw std::logic_error("a control kind without expected styles");
}

struct Dialog {
    const char* name;
    std::span<const ControlTemplate> controls;
    int width;
    int height;
};

class TemplateBuilderTest : public ::testing::TestWithParam<Dialog> {};

TEST_P(TemplateBuilderTest, EveryControlInTableOrderWithItsIdRectClassAndStyles) {
    const Dialog& dialog = GetParam();
    const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
    const std::vector<DWORD> built = buildDialogTemplate(
        {L"caption", dialog.width, dialog.height, style, WS_EX_APPWINDOW}, dialog.controls);
    TemplateReader in(built);

    EXPECT_EQ(in.word(), 1);      // dlgVer
    EXPECT_EQ(in.word(), 0xFFFF); // the extended form
    EXPECT_EQ(in.dword(), 0u);    // helpID
    EXPECT_EQ(in.dword(), static_cast<DWORD>(WS_EX_APPWINDOW));
    EXPECT_EQ(in.dword(), style | DS_SETFONT);
    EXPECT_EQ(in.word(), dialog.controls.size());
    in.word();
    in.word();
    EXPECT_EQ(in.word(), dialog.width);
    EXPECT_EQ(in.word(), dialog.height);
    EXPECT_EQ(in.word(), 0); // no menu
    EXPECT_EQ(in.word(), 0); // the dialog class
    EXPECT_EQ(in.text(), L"caption");
    EXPECT_EQ(in.word(), 9);
    EXPECT_EQ(in.word(), FW_NORMAL);
    EXPECT_EQ(in.word(), 0);
    EXPECT_EQ(in.text(), L"SimSun");

    for (const ControlTemplate& control : dialog.controls) {
        SCOPED_TRACE(std::string(control.name));
        const KindStyle& expected = styleOf(control.kind);
        in.alignToDword();
        EXPECT_EQ(in.dword(), 0u); // helpID
        EXPECT_EQ(in.dword(), 0u); // exStyle
        const DWORD itemStyle = in.dword();
        EXPECT_EQ(itemStyle & (expected.required | WS_CHILD | WS_VISIBLE),
                  expected.required | WS_CHILD | WS_VISIBLE);
        EXPECT_EQ(itemStyle & expected.forbidden, 0u);
        EXPECT_EQ(in.word(), control.rect.x);
        EXPECT_EQ(in.word(), control.rect.y);
        EXPECT_EQ(in.word(), control.rect.width);
        EXPECT_EQ(in.word(), control.rect.height);
        EXPECT_EQ(static_cast<int>(in.dword()), control.id < 0 ? -1 : control.id);
        EXPECT_EQ(in.word(), 0xFFFF);
        EXPECT_EQ(in.word(), expected.classAtom);
        if (control.kind == ControlKind::Icon) {
            EXPECT_EQ(in.word(), 0xFFFF);
            EXPECT_EQ(in.word(), IDR_MAINFRAME);
        } else {
            EXPECT_EQ(in.text(), widenText(control.text));
        }
        EXPECT_EQ(in.word(), 0); // no creation data
    }
    in.alignToDword();
    EXPECT_TRUE(in.atEnd());
}

INSTANTIATE_TEST_SUITE_P(Dialogs, TemplateBuilderTest,
                         ::testing::Values(Dialog{"main", upgradeDialogControls, upgradeDialogWidth,
                                                  upgradeDialogHeight},
                                           Dialog{"about", aboutBoxControls, aboutBoxWidth, aboutBoxHeight}),
                         [](const auto& entry) { return std::string(entry.param.name); });

} // namespace
} // namespace orvane
