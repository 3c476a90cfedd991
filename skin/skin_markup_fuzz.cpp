// Arbitrary marked-up text through the tag reader and the drawer, with a small generated
// skin on a headless screen. Input: a byte of flags, a byte of layout, a byte of width, then
// the text.
//
// Every "<" is read as a tag: a tag is at least "<b>" long, ends in ">" within the text,
// reads the same when cut to its own length, and is of a known kind. The text is then
// measured (no destination) and drawn into a small picture that clips it; both must report
// the same height, and every link rectangle must lie below the top and above that height.
#include "anim/cea_graphic.h"
#include "foundation/tl_exception.h"
#include "host/screen.h"
#include "skin/skin.h"
#include "skin/skin_markup.h"
#include "skin/skin_testutil.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <new>
#include <string>

namespace {

skintest::Bytes g_package;
std::unique_ptr<SKIN> g_pSkin;
int g_cUses = 0;

// The skin keeps every font the tags ask for: it is made again now and then so that the
// fonts of earlier inputs do not pile up, and kept between to spare the font lookups.
SKIN& Skin() {
    if (!g_pSkin || ++g_cUses == 500) {
        g_pSkin.reset();
        g_pSkin = std::make_unique<SKIN>(g_package.data(), g_package.size());
        g_cUses = 0;
    }
    return *g_pSkin;
}

void CheckTags(const CHAR* pch, int cch) {
    for (int i = 0; i < cch; ++i) {
        if (pch[i] != '<') continue;
        SKINMARKUPTAG tag;
        const int n = SkinParseMarkupTag(pch + i, cch - i, &tag);
        if (n == 0) continue;
        if (n < 3 || n > cch - i || pch[i + n - 1] != '>') std::abort();
        if (tag.nKind < SMT_LINK || tag.nKind > SMT_CLOSE) std::abort();
        SKINMARKUPTAG again;
        if (SkinParseMarkupTag(pch + i, n, &again) != n || again.nKind != tag.nKind ||
            again.strTarget != tag.strTarget || again.strFont != tag.strFont ||
            again.clr != tag.clr)
            std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    host::ScreenOptions options;
    options.backend = host::ScreenBackendKind::kHeadless;
    options.profile = host::ScreenProfile::kDesktop;
    if (!host::InitScreen(options)) std::abort();
    g_package =
        skintest::Package({{"skin.txt", skintest::Text("font = Arial,-14\ntext color = #000000\n"
                                                       "text selected color = #FFFFFF\n")}});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pb, std::size_t cb) {
    if (cb < 3) return 0;
    const UINT fuFlags = pb[0] & (SKINTEXT_WRAP | SKINTEXT_SELECTED | SKINTEXT_NOPREFIX |
                                  SKINTEXT_VCENTER | SKINTEXT_PLAIN | SKINTEXT_DISABLED);
    const int nLayout = pb[1] % 3;
    const int cx = pb[2]; // 0 too: a rectangle with no width still places a character a line
    const CHAR* pch = reinterpret_cast<const CHAR*>(pb + 3);
    const int cch = static_cast<int>(cb - 3);
    CheckTags(pch, cch);
    try {
        SKIN& skin = Skin();
        SKINCONTROLSETTINGS settings = skin.ControlSettings(CT_TEXT, nullptr, "");
        settings.nTextLayout = nLayout;
        cetl::string strText;
        strText.Assign(pch, cch);
        const RECT rc = {0, 0, cx, 1000};
        SKINDRAWCONTEXT ctx;
        ctx.pSkin = &skin;
        mem::vector<SKINLINK> links;
        const int cy = SkinDrawMarkup(ctx, strText, rc, settings, fuFlags, &links);
        if (cy < 0) std::abort();
        for (const SKINLINK& link : links)
            if (link.rc.top < 0 || link.rc.bottom > cy || link.rc.left > link.rc.right ||
                link.rc.top > link.rc.bottom)
                std::abort();
        Graphic page(48, 24, 32);
        ctx.pDest = &page;
        if (SkinDrawMarkup(ctx, strText, rc, settings, fuFlags) != cy) std::abort();
    } catch (const cetl::exception&) {
    } catch (const std::bad_alloc&) {
    }
    return 0;
}
