#include "tools/pspwriter/icowriter.h"

#include "tools/pspwriter/pspwriter.h"

namespace pspwriter {
namespace {

void Put16(std::vector<uint8_t>* p, uint32_t n) {
    p->push_back(static_cast<uint8_t>(n));
    p->push_back(static_cast<uint8_t>(n >> 8));
}

void Put32(std::vector<uint8_t>* p, uint32_t n) {
    Put16(p, n);
    Put16(p, n >> 16);
}

// The stored image: BITMAPINFOHEADER with the doubled height of the XOR and AND halves,
// the colour rows bottom-up as blue, green, red, alpha, then the mask rows bottom-up, each
// padded to 32 bits; a mask bit is set where the pixel is fully see-through, for readers
// that ignore alpha.
std::vector<uint8_t> EncodeImage(const IcoImage& image) {
    const uint32_t cx = static_cast<uint32_t>(image.cx);
    const uint32_t cy = static_cast<uint32_t>(image.cy);
    const uint32_t cbMaskRow = (cx + 31) / 32 * 4;
    std::vector<uint8_t> out;
    Put32(&out, 40);
    Put32(&out, cx);
    Put32(&out, cy * 2);
    Put16(&out, 1);
    Put16(&out, 32);
    Put32(&out, 0); // BI_RGB
    Put32(&out, cx * cy * 4 + cbMaskRow * cy);
    for (int i = 0; i < 4; ++i)
        Put32(&out, 0);
    for (uint32_t y = cy; y-- > 0;) {
        for (uint32_t x = 0; x < cx; ++x) {
            const uint8_t* p = &image.rgba[(y * cx + x) * 4];
            out.insert(out.end(), {p[2], p[1], p[0], p[3]});
        }
    }
    for (uint32_t y = cy; y-- > 0;) {
        std::vector<uint8_t> row(cbMaskRow, 0);
        for (uint32_t x = 0; x < cx; ++x)
            if (image.rgba[(y * cx + x) * 4 + 3] == 0)
                row[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
        out.insert(out.end(), row.begin(), row.end());
    }
    return out;
}

} // namespace

bool WriteIco(const std::vector<IcoImage>& images, std::vector<uint8_t>* pOut,
              std::string* pError) {
    auto Fail = [&](const std::string& what) {
        if (pError) *pError = what;
        return false;
    };
    if (images.empty()) return Fail("an icon needs at least one image");
    if (images.size() > 0xFFFF) return Fail("more than 65535 icon images");
    for (std::size_t i = 0; i < images.size(); ++i) {
        const IcoImage& im = images[i];
        if (im.cx < 1 || im.cx > 256 || im.cy < 1 || im.cy > 256)
            return Fail("icon image " + std::to_string(i + 1) + " is " + std::to_string(im.cx) +
                        " x " + std::to_string(im.cy) + "; sides are 1 to 256");
        if (im.rgba.size() != static_cast<std::size_t>(im.cx) * im.cy * 4)
            return Fail("icon image " + std::to_string(i + 1) + " has " +
                        std::to_string(im.rgba.size()) + " pixel bytes, not 4 x " +
                        std::to_string(im.cx) + " x " + std::to_string(im.cy));
    }
    std::vector<std::vector<uint8_t>> encoded;
    for (const IcoImage& im : images)
        encoded.push_back(EncodeImage(im));
    std::vector<uint8_t> out;
    Put16(&out, 0);
    Put16(&out, 1);
    Put16(&out, static_cast<uint32_t>(images.size()));
    uint32_t off = 6 + 16 * static_cast<uint32_t>(images.size());
    for (std::size_t i = 0; i < images.size(); ++i) {
        // 256 is written as 0 in the directory's byte.
        out.push_back(static_cast<uint8_t>(images[i].cx & 0xFF));
        out.push_back(static_cast<uint8_t>(images[i].cy & 0xFF));
        out.push_back(0); // no colour table
        out.push_back(0);
        Put16(&out, 1);
        Put16(&out, 32);
        Put32(&out, static_cast<uint32_t>(encoded[i].size()));
        Put32(&out, off);
        off += static_cast<uint32_t>(encoded[i].size());
    }
    for (const auto& e : encoded)
        out.insert(out.end(), e.begin(), e.end());
    *pOut = std::move(out);
    return true;
}

bool WriteIcoFile(const std::vector<IcoImage>& images, const std::string& path,
                  std::string* pError) {
    std::vector<uint8_t> bytes;
    return WriteIco(images, &bytes, pError) && WriteFileReplacing(bytes, path, pError);
}

} // namespace pspwriter
