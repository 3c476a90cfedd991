// Loads arbitrary bytes as a graphic (alone and with a sprite), touches pixels at the
// corners and saves the result to a scratch file.
#include "anim/cea_graphic.h"
#include "anim/cea_sprite.h"
#include "foundation/memmgr.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

host::HANDLE ScratchFile() {
    static std::string path = "/tmp/cea_graphic_fuzz_" + std::to_string(getpid()) + ".bmp";
    return host::CreateFile(path.c_str(), host::GENERIC_WRITE, 0, host::CREATE_ALWAYS);
}

void Exercise(Graphic* pGraphic) {
    int cx = pGraphic->GetWidth();
    int cy = pGraphic->GetHeight();
    if (cx < 0 || cy < 0) std::abort();
    if (pGraphic->GetBits() == nullptr) return;
    const int rgx[] = {0, cx - 1, cx / 2, -1, cx};
    const int rgy[] = {0, cy - 1, cy / 2, -1, cy};
    for (int x : rgx) {
        for (int y : rgy) {
            DWORD n = pGraphic->GetPixelValue(x, y);
            pGraphic->SetPixelValue(x, y, n ^ 1);
            pGraphic->SetPixelColor(x, y, pGraphic->GetPixelColor(x, y));
        }
    }
    // Whole-picture work only on pictures of a sensible size, to keep the runs fast.
    if (static_cast<int64_t>(cx) * cy <= 1 << 18) {
        pGraphic->SetTransparency(pGraphic->GetPixelColor(0, 0));
        pGraphic->PrepareTransparency();
        LONG cRuns = 0;
        pGraphic->GetRuns(cy - 1, &cRuns);
        host::HANDLE hFile = ScratchFile();
        if (hFile != host::INVALID_HANDLE_VALUE) {
            pGraphic->Save(hFile);
            host::CloseHandle(hFile);
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pb, std::size_t cb) {
    auto cbData = static_cast<DWORD>(cb);
    {
        Graphic graphic(pb, cbData);
        Exercise(&graphic);
    }
    {
        Sprite sprite(static_cast<Graphic*>(nullptr), 1, 1, SPRITE_NO_LIMIT);
        Graphic graphic(pb, cbData, &sprite, 0x00FF00FF);
        Exercise(&graphic);
    }
    return 0;
}
