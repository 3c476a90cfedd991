// Loads arbitrary bytes as a whole skin package from memory and asks it what the installer's
// windows ask: settings, every kind of picture, fonts.
#include "foundation/tl_exception.h"
#include "skin/skin.h"

#include <cstddef>
#include <cstdint>
#include <new>

namespace {

void Exercise(SKIN* pSkin) {
    const char* const rgszWindows[] = {"", "KelvanoSetup", "Message"};
    const char* const rgszPictures[] = {"frame",   "frame-c", "frame-lr", "frame-tb", "frame-x",
                                        "pbutton", "rbutton", "edit",     "text",     "icon-info"};
    for (const char* pszWindow : rgszWindows) {
        pSkin->WindowSettings(pszWindow);
        for (int nKind = 0; nKind <= 17; ++nKind)
            pSkin->ControlSettings(nKind, nullptr, pszWindow);
        int nKind = 0;
        for (const char* pszPicture : rgszPictures) {
            try {
                pSkin->Graphics(pszPicture, nKind, pszWindow);
            } catch (const cetl::exception&) {
            }
            try {
                pSkin->OptionalGraphics(pszPicture, static_cast<int>(0x80010001u), pszWindow);
            } catch (const cetl::exception&) {
            }
            nKind = (nKind + 3) % 19;
        }
    }
    pSkin->SetProperty("Font", "MS Shell Dlg,10");
    pSkin->ControlSettings(CT_TEXT, nullptr, "KelvanoSetup");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pb, std::size_t cb) {
    try {
        SKIN skin(pb, cb);
        Exercise(&skin);
    } catch (const cetl::exception&) {
    } catch (const std::bad_alloc&) {
    }
    return 0;
}
