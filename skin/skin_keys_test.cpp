// The skinned window's keyboard: focus order, activation keys, edit typing and list
// scrolling, all by real key input on the headless screen.
#include "anim/cea_main.h"
#include "host/clock.h"
#include "host/screen.h"
#include "skin/skin_window.h"
#include "skin/skin_window_fixture.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

using skintest::PumpAll;

constexpr int kKeys = 930;
constexpr int kEdit = 300, kCheck = 302, kRadioA = 303, kRadioB = 304, kList = 305, kGo = 306;

std::vector<WPARAM> g_commands;
int g_cOther = 0; // notifications other than WM_COMMAND

INT_PTR KeysProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM) {
    if (uMsg == host::WM_INITDIALOG) {
        SKINCONTROL* pList = SkinWindow::FromHandle(hwnd)->Control(kList);
        for (int i = 1; i <= 12; ++i)
            pList->AddItem(("Item " + std::to_string(i)).c_str());
    } else if (uMsg == host::WM_COMMAND) {
        g_commands.push_back(wParam);
    } else if (uMsg == host::WM_HSCROLL || uMsg == host::WM_VSCROLL) {
        ++g_cOther;
    }
    return 0;
}

// A virtual key, with Shift held or not.
struct Key {
    UINT vk;
    bool fShift = false;
};

// Each event is handled before the next comes, as a typist's would be: key state is the
// input seen so far.
void Post(UINT vk, bool fDown) {
    host::PostKeyInput(vk, fDown);
    PumpAll();
}

void Press(const Key& key) {
    if (key.fShift) Post(host::VK_SHIFT, true);
    Post(key.vk, true);
    Post(key.vk, false);
    if (key.fShift) Post(host::VK_SHIFT, false);
}

void Type(const char* psz) {
    for (; *psz != '\0'; ++psz)
        Press({static_cast<UINT>(*psz >= 'a' && *psz <= 'z' ? *psz - 'a' + 'A' : *psz)});
}

class SkinKeysTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(skintest::StartSkinScreen());
        pSkin_ = std::make_unique<SKIN>(KELVANO_SKINART_DIR "/dez.zip");
        pWindow_ = std::make_unique<SkinWindow>(pSkin_.get(), "KelvanoSetup", KeysProc, nullptr,
                                                kKeys, 0, nullptr);
        host::ShowWindow(pWindow_->Handle(), host::SW_SHOW);
        PumpAll();
        g_commands.clear();
        g_cOther = 0;
    }
    void TearDown() override {
        pWindow_.reset();
        pSkin_.reset();
        skintest::StopSkinScreen();
    }
    int FocusedId() const {
        const SKINCONTROL* p = pWindow_->FocusedControl();
        return p != nullptr ? p->Id() : 0;
    }
    POINT At(int nId, int dx, int dy) const {
        const RECT& rc = pWindow_->Control(nId)->Rect();
        POINT pt = {rc.left + dx, rc.top + dy};
        host::ClientToScreen(pWindow_->Handle(), &pt);
        return pt;
    }

    std::unique_ptr<SKIN> pSkin_;
    std::unique_ptr<SkinWindow> pWindow_;
};

TEST_F(SkinKeysTest, TabOrderSkipsDisabledAndWraps) {
    EXPECT_EQ(FocusedId(), kEdit); // the first tab stop
    std::vector<int> order;
    for (int i = 0; i < 7; ++i) {
        Press({host::VK_TAB});
        order.push_back(FocusedId());
    }
    EXPECT_EQ(order, (std::vector<int>{kCheck, kRadioA, kRadioB, kList, 1, kGo, kEdit}));
    Press({host::VK_TAB, true});
    EXPECT_EQ(FocusedId(), kGo);
    // Disabling the focused control drops the focus; Tab finds the first again.
    pWindow_->EnableControl(kGo, false);
    EXPECT_EQ(FocusedId(), 0);
    Press({host::VK_TAB});
    EXPECT_EQ(FocusedId(), kEdit);
    EXPECT_TRUE(g_commands.empty());
}

TEST_F(SkinKeysTest, ActivationKeys) {
    struct Case {
        int nFocus;
        Key key;
        std::vector<WPARAM> commands;
    } cases[] = {
        {kCheck, {host::VK_SPACE}, {kCheck}},
        {kGo, {host::VK_SPACE}, {kGo}},
        {kGo, {host::VK_RETURN}, {1}}, // the default button wins over the focused one
        {kEdit, {host::VK_RETURN}, {1}},
        {kEdit, {host::VK_ESCAPE}, {host::IDCANCEL}},
        {kRadioA, {host::VK_DOWN}, {kRadioB}},
        {kRadioA, {host::VK_UP}, {kRadioB}}, // wraps within the group
        {kEdit, {host::VK_SPACE}, {}},       // typed, not a click
    };
    for (const Case& c : cases) {
        pWindow_->FocusControl(c.nFocus);
        g_commands.clear();
        Press(c.key);
        EXPECT_EQ(g_commands, c.commands) << c.nFocus << " key " << c.key.vk;
    }
    EXPECT_TRUE(pWindow_->IsControlChecked(kCheck));
    EXPECT_TRUE(pWindow_->IsControlChecked(kRadioB));
    EXPECT_FALSE(pWindow_->IsControlChecked(kRadioA));
    EXPECT_EQ(FocusedId(), kEdit);
}

TEST_F(SkinKeysTest, EditTyping) {
    const Key left{host::VK_LEFT}, sleft{host::VK_LEFT, true}, home{host::VK_HOME};
    const Key back{host::VK_BACK}, del{host::VK_DELETE}, send{host::VK_END, true};
    struct Case {
        std::vector<std::vector<Key>> steps; // keys, then the text typed after them
        const char* pszThen;
        const char* pszExpected;
        int iCaret;
    } cases[] = {
        {{{left, back}}, "", "ac", 1},        {{{home, del}}, "", "bc", 0},
        {{{sleft, sleft}}, "x", "ax", 2},     // a selection gives way to typing
        {{{home, send}}, "z", "z", 1},        // Shift+End selects all
        {{{sleft, left, back}}, "", "ac", 1}, // Left collapses the selection first
        {{{home, back, left}}, "", "abc", 0}, // nothing before the caret
    };
    for (const Case& c : cases) {
        pWindow_->SetControlText(kEdit, "");
        pWindow_->FocusControl(kEdit);
        Type("abc");
        for (const auto& keys : c.steps)
            for (const Key& key : keys)
                Press(key);
        Type(c.pszThen);
        EXPECT_EQ(pWindow_->ControlText(kEdit), cetl::string(c.pszExpected)) << c.pszExpected;
        EXPECT_EQ(pWindow_->Control(kEdit)->Caret(), c.iCaret) << c.pszExpected;
    }
    EXPECT_TRUE(g_commands.empty()); // edits notify nothing
    EXPECT_EQ(g_cOther, 0);
}

TEST_F(SkinKeysTest, LongTextScrollsAndCaretBlinks) {
    SKINCONTROL* pEdit = pWindow_->Control(kEdit);
    const RECT rc = pEdit->Rect();
    auto sum = [&] {
        unsigned long long n = 0; // wraps by design
        POINT pt = {rc.left, rc.top};
        host::ClientToScreen(pWindow_->Handle(), &pt);
        for (int y = 0; y < rc.bottom - rc.top; ++y)
            for (int x = 0; x < rc.right - rc.left; ++x)
                n = n * 31 + host::GetScreenPixel(pt.x + x, pt.y + y);
        return n;
    };
    auto frame = [&](int ms) {
        host::AdvanceVirtualClock(ms);
        pWindow_->Anim()->Step();
        PumpAll();
    };
    Type("the quick brown fox jumps over the lazy dog");
    frame(10);
    const unsigned long long nOn = sum();
    frame(500); // the caret goes off
    EXPECT_NE(sum(), nOn);
    frame(500);
    EXPECT_EQ(sum(), nOn);
    // The end of the text is in view, so its start is not; Home brings it back.
    SKINDRAWCONTEXT ctx;
    ctx.pSkin = pSkin_.get();
    const cetl::string& str = pEdit->Text();
    const int cxRoom =
        rc.right - rc.left - pEdit->Settings().nLeftBorder - pEdit->Settings().nRightBorder;
    const int xEnd = SkinEditScroll(ctx, rc, pEdit->Settings(), str, str.Length(), 0);
    EXPECT_EQ(xEnd, SkinTextWidth(ctx, pEdit->Settings(), str, str.Length()) - cxRoom + 1);
    EXPECT_EQ(SkinEditScroll(ctx, rc, pEdit->Settings(), str, 0, xEnd), 0);
    EXPECT_EQ(SkinEditScroll(ctx, rc, pEdit->Settings(), "ab", 2, 50), 0); // fits: no scroll
    Press({host::VK_HOME});
    frame(10);
    EXPECT_NE(sum(), nOn);
    EXPECT_EQ(pEdit->Caret(), 0);
}

TEST_F(SkinKeysTest, ListKeysScrollAndNotify) {
    SKINCONTROL* pList = pWindow_->Control(kList);
    const int cVisible = pList->VisibleItems();
    ASSERT_LT(cVisible, 12);
    pWindow_->FocusControl(kList);
    for (int i = 0; i < cVisible + 1; ++i)
        Press({host::VK_DOWN});
    EXPECT_EQ(pList->Selection(), cVisible + 1);
    EXPECT_EQ(pList->TopItem(), 1);
    ASSERT_EQ(g_commands.size(), static_cast<std::size_t>(cVisible + 1));
    EXPECT_EQ(g_commands.back(), host::MAKEWPARAM(kList, 1));
    Press({host::VK_END});
    EXPECT_EQ(pList->Selection(), 12);
    EXPECT_EQ(pList->TopItem(), 12 - cVisible);
    g_commands.clear();
    Press({host::VK_DOWN}); // at the end: nothing changes, nothing is said
    EXPECT_TRUE(g_commands.empty());

    // A click selects the shown item under it: the first shown one.
    SKINDRAWCONTEXT ctx;
    ctx.pSkin = pSkin_.get();
    SKINCONTROLGRAPHICS* pItems = pSkin_->Graphics("listitem", CT_RBUTTON, "KelvanoSetup");
    const int cyItem = SkinListItemHeight(ctx, pItems, pList->Settings());
    const RECT rcItem = SkinListItemRect(pList->Rect(), pList->Settings(), cyItem, 0, 0);
    const POINT pt =
        At(kList, rcItem.left - pList->Rect().left + 2, rcItem.top - pList->Rect().top + 2);
    host::PostMouseInput(pt, host::MouseAction::kMove);
    host::PostMouseInput(pt, host::MouseAction::kLeftDown);
    host::PostMouseInput(pt, host::MouseAction::kLeftUp);
    PumpAll();
    EXPECT_EQ(pList->Selection(), 12 - cVisible + 1);
    EXPECT_EQ(g_commands, (std::vector<WPARAM>{host::MAKEWPARAM(kList, 1)}));
}

} // namespace
