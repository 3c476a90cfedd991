// The drawn message box: a modal dialog made from a template in memory, with the icon painted
// by the dialog itself, the text in a static control and one row of push buttons. Sizes come
// from the dialog font's measured text, so the controls are placed after creation.
#include "host/dialog.h"

#include "host/codepage.h"
#include "host/debug.h"
#include "host/screen.h"

#include <algorithm>
#include <string>
#include <vector>

namespace host {
namespace {

constexpr int kIconSize = 32;
constexpr int kTextId = 0xFFFF; // the static text; no button has this identifier
constexpr WORD kPointSize = 8;
constexpr char16_t kFace[] = u"MS Shell Dlg";

struct BoxButton {
    int id;
    const char16_t* label;
};

// The buttons of an MB_ type, left to right; unknown types get OK alone.
std::vector<BoxButton> ButtonsOf(UINT uType) {
    switch (uType & MB_TYPEMASK) {
    case MB_OKCANCEL:
        return {{IDOK, u"OK"}, {IDCANCEL, u"Cancel"}};
    case MB_ABORTRETRYIGNORE:
        return {{IDABORT, u"&Abort"}, {IDRETRY, u"&Retry"}, {IDIGNORE, u"&Ignore"}};
    case MB_YESNOCANCEL:
        return {{IDYES, u"&Yes"}, {IDNO, u"&No"}, {IDCANCEL, u"Cancel"}};
    case MB_YESNO:
        return {{IDYES, u"&Yes"}, {IDNO, u"&No"}};
    case MB_RETRYCANCEL:
        return {{IDRETRY, u"&Retry"}, {IDCANCEL, u"Cancel"}};
    default:
        return {{IDOK, u"OK"}};
    }
}

// What Escape and the close box answer; 0 when they do nothing (abort / retry / ignore
// has no way out but its buttons).
int EscapeAnswer(UINT uType) {
    switch (uType & MB_TYPEMASK) {
    case MB_OKCANCEL:
    case MB_YESNOCANCEL:
    case MB_RETRYCANCEL:
        return IDCANCEL;
    case MB_YESNO:
        return IDNO;
    case MB_ABORTRETRYIGNORE:
        return 0;
    default:
        return IDOK;
    }
}

// Layout in pixels, from the font selected into hdc. Everything is in client coordinates.
struct Layout {
    SIZE client{};
    RECT rcIcon{};
    RECT rcText{};
    std::vector<RECT> buttons;
};

Layout LayoutBox(HDC hdc, std::u16string_view text, std::u16string_view caption, UINT uType,
                 bool fIcon, const RECT& workArea, bool fDevice) {
    TEXTMETRIC tm{};
    GetTextMetrics(hdc, &tm);
    const int cyLine = std::max<int>(tm.tmHeight, 1);
    const int margin = fDevice ? 8 : 12;
    const int gap = fDevice ? 6 : 10;
    const int cxWork = workArea.right - workArea.left;
    const int cyWork = workArea.bottom - workArea.top;
    // The device box stays a few pixels inside the screen; the desktop one keeps lines short.
    const int cxClientMax = std::max(fDevice ? cxWork - 2 * 6 : cxWork * 6 / 10, 4 * margin);
    const int cxIcon = fIcon ? kIconSize + gap : 0;
    const int cxTextMax = std::max(cxClientMax - 2 * margin - cxIcon, 8);

    RECT rcText{0, 0, cxTextMax, 0};
    if (!text.empty())
        DrawText(hdc, text.data(), static_cast<int>(text.size()), &rcText,
                 DT_WORDBREAK | DT_CALCRECT | DT_NOPREFIX);
    const int cxText = std::min<int>(rcText.right - rcText.left, cxTextMax);
    int cyText = std::max<int>(rcText.bottom - rcText.top, cyLine);

    const std::vector<BoxButton> boxButtons = ButtonsOf(uType);
    int cxButton = fDevice ? 52 : 75;
    for (const BoxButton& kind : boxButtons) {
        std::u16string_view label = kind.label;
        RECT rc{0, 0, 0, 0};
        DrawText(hdc, label.data(), static_cast<int>(label.size()), &rc,
                 DT_SINGLELINE | DT_CALCRECT);
        cxButton = std::max<int>(cxButton, rc.right - rc.left + 2 * (fDevice ? 8 : 12));
    }
    const int cyButton = cyLine + (fDevice ? 8 : 10);
    const int cxGap = fDevice ? 4 : 6;
    const int cButtons = static_cast<int>(boxButtons.size());
    // Too many wide labels for the screen: the buttons share what there is.
    if (cButtons * cxButton + (cButtons - 1) * cxGap > cxClientMax - 2 * margin)
        cxButton = std::max((cxClientMax - 2 * margin - (cButtons - 1) * cxGap) / cButtons, 1);
    const int cxRow = cButtons * cxButton + (cButtons - 1) * cxGap;

    // The caption's title should show beside the close box where it can.
    RECT rcCaption{0, 0, 0, 0};
    if (!caption.empty())
        DrawText(hdc, caption.data(), static_cast<int>(caption.size()), &rcCaption,
                 DT_SINGLELINE | DT_CALCRECT | DT_NOPREFIX);
    const int cxTitle = rcCaption.right - rcCaption.left + CAPTION_HEIGHT + 2 * margin;

    Layout layout;
    layout.client.cx = std::max({2 * margin + cxIcon + cxText, 2 * margin + cxRow, cxTitle});
    layout.client.cx = std::min(layout.client.cx, std::max<LONG>(cxClientMax, 2 * margin + cxRow));

    // A text too long for the screen is cut off at the bottom rather than pushing the
    // buttons out of reach.
    const int cyClientMax = cyWork - CAPTION_HEIGHT - (fDevice ? 0 : 2 * margin);
    const int cyFixed = 2 * margin + gap + cyButton;
    cyText = std::max(std::min(cyText, cyClientMax - cyFixed), 0);
    const int cyTop = std::max(fIcon ? kIconSize : 0, cyText);
    layout.client.cy = cyFixed + cyTop;

    const int xText = margin + cxIcon;
    if (fIcon) layout.rcIcon = {margin, margin, margin + kIconSize, margin + kIconSize};
    // A short text sits level with the middle of the icon.
    const int yText = margin + (cyTop - cyText) / 2;
    layout.rcText = {xText, yText, std::min<LONG>(xText + cxTextMax, layout.client.cx - margin),
                     yText + cyText};

    const int yButton = margin + cyTop + gap;
    int x = (layout.client.cx - cxRow) / 2;
    for (int i = 0; i < cButtons; ++i) {
        layout.buttons.push_back({x, yButton, x + cxButton, yButton + cyButton});
        x += cxButton + cxGap;
    }
    return layout;
}

// ---- The icons ----

struct GdiObjects {
    HDC hdc;
    HGDIOBJ oldPen, oldBrush;
    HPEN pen;
    HBRUSH brush;
    GdiObjects(HDC h, COLORREF line, COLORREF fill)
        : hdc(h), pen(CreatePen(PS_SOLID, 1, line)), brush(CreateSolidBrush(fill)) {
        oldPen = SelectObject(hdc, pen);
        oldBrush = SelectObject(hdc, brush);
    }
    ~GdiObjects() {
        SelectObject(hdc, oldPen);
        SelectObject(hdc, oldBrush);
        DeleteObject(pen);
        DeleteObject(brush);
    }
    GdiObjects(const GdiObjects&) = delete;
    GdiObjects& operator=(const GdiObjects&) = delete;
};

// A glyph in bold white (or black) centred on the icon.
void DrawIconGlyph(HDC hdc, const RECT& rc, char16_t glyph, COLORREF colour, int dy) {
    LOGFONTW lf{};
    lf.lfHeight = -(kIconSize * 3 / 4);
    lf.lfWeight = FW_BOLD;
    const char16_t face[] = u"Arial";
    std::copy(std::begin(face), std::end(face), lf.lfFaceName);
    HFONT font = CreateFontIndirect(&lf);
    HGDIOBJ oldFont = SelectObject(hdc, font);
    const int oldMode = SetBkMode(hdc, TRANSPARENT);
    const COLORREF oldColour = SetTextColor(hdc, colour);
    RECT rcGlyph = rc;
    OffsetRect(&rcGlyph, 0, dy);
    DrawText(hdc, &glyph, 1, &rcGlyph, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    SetTextColor(hdc, oldColour);
    SetBkMode(hdc, oldMode);
    SelectObject(hdc, oldFont);
    DeleteObject(font);
}

void DrawBoxIcon(HDC hdc, const RECT& rc, UINT uIcon) {
    const int x = rc.left, y = rc.top, s = kIconSize;
    switch (uIcon) {
    case MB_ICONHAND: {
        {
            GdiObjects objects(hdc, RGB(128, 0, 0), RGB(224, 0, 0));
            Ellipse(hdc, x, y, x + s, y + s);
        }
        // The cross: two white bars corner to corner, 4 pixels thick.
        GdiObjects objects(hdc, RGB(255, 255, 255), RGB(255, 255, 255));
        const int a = 9, b = s - 10, t = 2;
        const POINT down[] = {{x + a - t, y + a + t},
                              {x + a + t, y + a - t},
                              {x + b + t, y + b - t},
                              {x + b - t, y + b + t}};
        const POINT up[] = {{x + a - t, y + b - t},
                            {x + a + t, y + b + t},
                            {x + b + t, y + a + t},
                            {x + b - t, y + a - t}};
        Polygon(hdc, down, 4);
        Polygon(hdc, up, 4);
        break;
    }
    case MB_ICONQUESTION:
    case MB_ICONASTERISK: {
        {
            GdiObjects objects(hdc, RGB(0, 0, 128), RGB(0, 64, 224));
            Ellipse(hdc, x, y, x + s, y + s);
        }
        DrawIconGlyph(hdc, rc, uIcon == MB_ICONQUESTION ? u'?' : u'i', RGB(255, 255, 255), 0);
        break;
    }
    case MB_ICONEXCLAMATION: {
        {
            GdiObjects objects(hdc, RGB(0, 0, 0), RGB(255, 224, 0));
            const POINT triangle[] = {{x + s / 2, y + 1}, {x + s - 1, y + s - 2}, {x, y + s - 2}};
            Polygon(hdc, triangle, 3);
        }
        DrawIconGlyph(hdc, rc, u'!', RGB(0, 0, 0), 3);
        break;
    }
    default:
        break;
    }
}

UINT IconOf(UINT uType) {
    const UINT uIcon = uType & MB_ICONMASK;
    switch (uIcon) {
    case MB_ICONHAND:
    case MB_ICONQUESTION:
    case MB_ICONEXCLAMATION:
    case MB_ICONASTERISK:
        return uIcon;
    default:
        return 0;
    }
}

// ---- The dialog ----

struct Box {
    std::u16string text;
    std::u16string caption;
    UINT uType = 0;
    UINT uIcon = 0;
    HWND hwndOwner = nullptr;
    RECT rcIcon{};
    bool fFocusPending = false;
};

void PlaceBox(HWND hDlg, Box* box) {
    const bool fDevice = GetScreenOptions().profile == ScreenProfile::kDevice;
    RECT work{};
    SystemParametersInfo(SPI_GETWORKAREA, 0, &work, 0);

    HFONT font = reinterpret_cast<HFONT>(SendMessage(hDlg, WM_GETFONT, 0, 0));
    HDC hdc = GetDC(hDlg);
    HGDIOBJ oldFont = SelectObject(hdc, font ? font : GetStockObject(DEFAULT_GUI_FONT));
    const Layout layout =
        LayoutBox(hdc, box->text, box->caption, box->uType, box->uIcon != 0, work, fDevice);
    SelectObject(hdc, oldFont);
    ReleaseDC(hDlg, hdc);

    box->rcIcon = layout.rcIcon;
    auto move = [](HWND hwnd, const RECT& rc) {
        if (hwnd) MoveWindow(hwnd, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top, TRUE);
    };
    move(GetDlgItem(hDlg, kTextId), layout.rcText);
    const std::vector<BoxButton> boxButtons = ButtonsOf(box->uType);
    for (std::size_t i = 0; i < boxButtons.size(); ++i)
        move(GetDlgItem(hDlg, boxButtons[i].id), layout.buttons[i]);

    RECT rc{0, 0, layout.client.cx, layout.client.cy};
    AdjustWindowRectEx(&rc, static_cast<DWORD>(GetWindowLongPtr(hDlg, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongPtr(hDlg, GWL_EXSTYLE)));
    const int cx = rc.right - rc.left, cy = rc.bottom - rc.top;
    // Centred on the owner on the desktop, on the work area otherwise; always inside it.
    RECT around = work;
    if (!fDevice && box->hwndOwner) GetWindowRect(box->hwndOwner, &around);
    int x = (around.left + around.right - cx) / 2;
    int y = (around.top + around.bottom - cy) / 2;
    x = std::max<int>(std::min<int>(x, work.right - cx), work.left);
    y = std::max<int>(std::min<int>(y, work.bottom - cy), work.top);
    SetWindowPos(hDlg, nullptr, x, y, cx, cy, SWP_NOZORDER | SWP_NOACTIVATE);
}

INT_PTR BoxProc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    auto* box = reinterpret_cast<Box*>(GetWindowLongPtr(hDlg, DWLP_USER));
    switch (uMsg) {
    case WM_INITDIALOG: {
        box = reinterpret_cast<Box*>(lParam);
        SetWindowLongPtr(hDlg, DWLP_USER, lParam);
        PlaceBox(hDlg, box);
        SendMessage(hDlg, DM_SETDEFID, static_cast<WPARAM>(DefaultButton(box->uType)), 0);
        // The focus goes to the default button once the box is active: set now, it would
        // activate the hidden box, and the activation would hand the focus to the first button.
        box->fFocusPending = true;
        return FALSE;
    }
    case WM_ACTIVATE: {
        if (!box || !box->fFocusPending || LOWORD(wParam) == WA_INACTIVE) return FALSE;
        box->fFocusPending = false;
        HWND hwndDefault = GetDlgItem(hDlg, DefaultButton(box->uType));
        if (!hwndDefault) return FALSE;
        SendMessage(hDlg, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(hwndDefault), TRUE);
        return TRUE;
    }
    case WM_PAINT: {
        if (!box || box->uIcon == 0) return FALSE;
        PAINTSTRUCT ps;
        HDC hdc = BeginPaint(hDlg, &ps);
        if (hdc) DrawBoxIcon(hdc, box->rcIcon, box->uIcon);
        EndPaint(hDlg, &ps);
        return TRUE;
    }
    case WM_COMMAND: {
        if (!box || HIWORD(wParam) != BN_CLICKED) return FALSE;
        const int id = LOWORD(wParam);
        for (const BoxButton& kind : ButtonsOf(box->uType)) {
            if (kind.id == id) {
                EndDialog(hDlg, id);
                return TRUE;
            }
        }
        // Escape and the close box arrive as IDCANCEL.
        if (id == IDCANCEL) {
            if (const int answer = EscapeAnswer(box->uType)) EndDialog(hDlg, answer);
            return TRUE;
        }
        return FALSE;
    }
    default:
        return FALSE;
    }
}

DialogTemplate MakeTemplate(const Box& box) {
    DialogTemplate t;
    t.dwStyle = WS_POPUP | WS_CAPTION | DS_MODALFRAME | DS_SETFONT;
    // Abort / retry / ignore must be answered with a button, so it has no close box.
    if (EscapeAnswer(box.uType) != 0) t.dwStyle |= WS_SYSMENU;
    // Rough size only: the box is measured and placed when it starts.
    t.cx = 160;
    t.cy = 60;
    t.caption = box.caption;
    t.fHasFont = true;
    t.wPointSize = kPointSize;
    t.faceName = kFace;

    DialogItem text;
    text.dwStyle = WS_CHILD | WS_VISIBLE | WS_GROUP | SS_LEFT | SS_NOPREFIX;
    text.id = kTextId;
    text.className = WC_STATIC;
    text.windowClass.nId = DLGCLASS_STATIC;
    text.text.text = box.text;
    t.items.push_back(text);

    const int idDefault = DefaultButton(box.uType);
    bool fFirst = true;
    for (const BoxButton& kind : ButtonsOf(box.uType)) {
        DialogItem button;
        button.dwStyle = WS_CHILD | WS_VISIBLE | WS_TABSTOP |
                         (kind.id == idDefault ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
        if (fFirst) button.dwStyle |= WS_GROUP;
        fFirst = false;
        button.id = static_cast<DWORD>(kind.id);
        button.cx = 50;
        button.cy = 14;
        button.className = WC_BUTTON;
        button.windowClass.nId = DLGCLASS_BUTTON;
        button.text.text = kind.label;
        t.items.push_back(button);
    }
    return t;
}

class DrawnResponder : public MessageBoxResponder {
public:
    int Respond(HWND hwndOwner, std::string_view text, std::string_view caption,
                UINT uType) override {
        Box box;
        box.text = ToUtf16(text);
        box.caption = caption.empty() ? std::u16string(u"Error") : ToUtf16(caption);
        box.uType = uType;
        box.uIcon = IconOf(uType);
        // A gone owner makes an ownerless box; a child owner stands for its top-level window.
        if (hwndOwner && IsWindow(hwndOwner)) box.hwndOwner = GetAncestor(hwndOwner, GA_ROOT);

        INT_PTR result = -1;
        if (IsScreenRunning()) {
            RegisterStandardControls();
            result = DialogBoxIndirectParam(nullptr, MakeTemplate(box), box.hwndOwner, BoxProc,
                                            reinterpret_cast<LPARAM>(&box));
        }
        if (result > 0) return static_cast<int>(result);
        // No screen, no dialog, or the program is quitting: the box is answered as a
        // headless run would, so that callers still see one of their buttons.
        std::string line = "message box not shown: ";
        line.append(caption);
        line.append("\n");
        line.append(text);
        line.append("\n");
        OutputDebugString(line);
        return DefaultButton(uType);
    }
};

} // namespace

MessageBoxResponder* DrawnMessageBoxResponder() {
    static DrawnResponder responder;
    return &responder;
}

} // namespace host
