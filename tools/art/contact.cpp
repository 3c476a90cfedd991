#include "tools/art/contact.h"

#include "anim/cea_graphic.h"
#include "tools/cli/cli.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <filesystem>
#include <memory>

namespace art {
namespace {

constexpr int kMargin = 12;
constexpr int kGap = 6;
constexpr int kLabelHeight = 22;
constexpr int kMinWidth = 1000;
constexpr host::COLORREF kBackground = host::RGB(128, 128, 128);
constexpr host::COLORREF kKeyColour = host::RGB(0, 0, 255);

struct Placed {
    const ContactEntry* pEntry;
    std::unique_ptr<Graphic> sheet;
    int yLabel;
    std::vector<std::array<int, 3>> frames; // frame number, x, y on the contact sheet
};

} // namespace

bool ParseContactEntry(const std::string& text, ContactEntry* pEntry) {
    std::size_t a = text.find(':'), b = text.rfind(':');
    if (a == std::string::npos || a == b) return false;
    std::string size = text.substr(b + 1);
    std::size_t x = size.find('x');
    if (x == std::string::npos) return false;
    auto id = cli::ParseInteger(text.substr(0, a), 1, 65535);
    auto cx = cli::ParseInteger(size.substr(0, x), 1, 4096);
    auto cy = cli::ParseInteger(size.substr(x + 1), 1, 4096);
    if (!id || !cx || !cy || b == a + 1) return false;
    *pEntry = {static_cast<int>(*id), text.substr(a + 1, b - a - 1), static_cast<int>(*cx),
               static_cast<int>(*cy)};
    return true;
}

bool WriteContactSheet(const std::vector<ContactEntry>& entries, const std::string& pngPath,
                       std::string* pError, int nScale) {
    // Read every sheet and place its frames in rows, wrapping at the sheet's width.
    int cxSheet = kMinWidth;
    for (const ContactEntry& e : entries)
        cxSheet = std::max(cxSheet, e.cxFrame * nScale + 2 * kMargin);
    std::vector<Placed> placed;
    int y = kMargin;
    for (const ContactEntry& e : entries) {
        std::vector<uint8_t> bytes;
        if (!cli::ReadWholeFile(e.path, &bytes, pError)) return false;
        Placed p{&e, nullptr, y, {}};
        p.sheet = std::make_unique<Graphic>(bytes.data(), static_cast<DWORD>(bytes.size()), nullptr,
                                            e.nId == 141 ? clrNone : kKeyColour);
        int cx = p.sheet->GetWidth(), cy = p.sheet->GetHeight();
        if (cx <= 0 || cy <= 0 || cx % e.cxFrame != 0 || cy % e.cyFrame != 0) {
            *pError = e.path + ": not a sheet of whole " + std::to_string(e.cxFrame) + " x " +
                      std::to_string(e.cyFrame) + " frames";
            return false;
        }
        y += kLabelHeight;
        int x = kMargin, cColumns = cx / e.cxFrame, cFrames = cColumns * (cy / e.cyFrame);
        for (int f = 0; f < cFrames; ++f) {
            if (x + e.cxFrame * nScale > cxSheet - kMargin) {
                x = kMargin;
                y += e.cyFrame * nScale + kGap;
            }
            p.frames.push_back({f, x, y});
            x += e.cxFrame * nScale + kGap;
        }
        y += e.cyFrame * nScale + kGap + kMargin;
        placed.push_back(std::move(p));
    }
    const int cySheet = y;

    ContactCanvas canvas(cxSheet, cySheet, kBackground);
    if (!canvas.Check(pError)) return false;
    auto put = [&](int px, int py, host::COLORREF c) { canvas.Put(px, py, c); };
    for (const Placed& p : placed) {
        const ContactEntry& e = *p.pEntry;
        int cColumns = p.sheet->GetWidth() / e.cxFrame;
        bool fKeyed = p.sheet->IsTransparent();
        for (const auto& [f, xFrame, yFrame] : p.frames) {
            for (int fy = 0; fy < e.cyFrame; ++fy) {
                for (int fx = 0; fx < e.cxFrame; ++fx) {
                    host::COLORREF c = p.sheet->GetPixelColor((f % cColumns) * e.cxFrame + fx,
                                                              (f / cColumns) * e.cyFrame + fy);
                    if (fKeyed && c == kKeyColour) continue;
                    for (int k = 0; k < nScale * nScale; ++k)
                        put(xFrame + fx * nScale + k % nScale, yFrame + fy * nScale + k / nScale,
                            c);
                }
            }
        }
    }

    std::vector<std::pair<host::POINT, std::string>> labels;
    for (const Placed& p : placed) {
        const ContactEntry& e = *p.pEntry;
        std::string label = "GRAPHIC " + std::to_string(e.nId) + "  " +
                            std::filesystem::path(e.path).filename().string() + "  (" +
                            std::to_string(p.frames.size()) + " x " + std::to_string(e.cxFrame) +
                            " x " + std::to_string(e.cyFrame) + ")";
        labels.push_back({host::POINT{kMargin, p.yLabel}, label});
    }
    canvas.Labels(labels, 14);
    return canvas.SavePng(pngPath, pError);
}

ContactCanvas::ContactCanvas(int cx, int cy, host::COLORREF background) : cx_(cx), cy_(cy) {
    host::BITMAPINFOHEADER h{sizeof(host::BITMAPINFOHEADER), cx, -cy, 1, 32, 0, 0, 0, 0, 0, 0};
    void* pvBits = nullptr;
    hbm_ = host::CreateDIBSection(nullptr, reinterpret_cast<const host::BITMAPINFO*>(&h),
                                  host::DIB_RGB_COLORS, &pvBits);
    if (!hbm_) return;
    pPixels_ = static_cast<std::uint32_t*>(pvBits);
    for (int y = 0; y < cy; ++y)
        for (int x = 0; x < cx; ++x)
            Put(x, y, background);
}

ContactCanvas::~ContactCanvas() {
    if (hbm_) host::DeleteObject(hbm_);
}

bool ContactCanvas::Check(std::string* pError) const {
    if (hbm_) return true;
    *pError = "cannot make a " + std::to_string(cx_) + " x " + std::to_string(cy_) + " picture";
    return false;
}

void ContactCanvas::Labels(const std::vector<std::pair<host::POINT, std::string>>& labels,
                           int nHeight) {
    host::HDC hdc = host::CreateCompatibleDC(nullptr);
    host::HGDIOBJ hbmOld = host::SelectObject(hdc, hbm_);
    host::LOGFONTA lf{};
    lf.lfHeight = -nHeight;
    lf.lfWeight = host::FW_BOLD;
    lf.lfQuality = host::ANTIALIASED_QUALITY;
    std::strcpy(lf.lfFaceName, "Arial");
    host::HFONT hfont = host::CreateFontIndirect(&lf);
    host::HGDIOBJ hfontOld = host::SelectObject(hdc, hfont);
    host::SetBkMode(hdc, host::TRANSPARENT);
    host::SetTextColor(hdc, host::RGB(255, 255, 255));
    for (const auto& [at, text] : labels)
        host::TextOut(hdc, at.x, at.y, text.c_str(), static_cast<int>(text.size()));
    host::SelectObject(hdc, hfontOld);
    host::DeleteObject(hfont);
    host::SelectObject(hdc, hbmOld);
    host::DeleteDC(hdc);
}

bool ContactCanvas::SavePng(const std::string& pngPath, std::string* pError) {
    const bool fOk = host::SaveBitmapAsPng(hbm_, pngPath);
    if (!fOk) *pError = pngPath + ": cannot write";
    return fOk;
}

} // namespace art
