// Writes classic icon files: a directory of images, each a 32-bit DIB with its alpha channel
// followed by the 1-bit AND mask, as the resource compiler's ICON statement stores them and
// host/resource's LoadIconImages hands them out.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace pspwriter {

struct IcoImage {
    int32_t cx = 0; // 1 to 256 pixels a side
    int32_t cy = 0;
    // Row-major from the top: red, green, blue, alpha per pixel (not premultiplied).
    std::vector<uint8_t> rgba;
};

// False (and *pOut untouched) for no images, more than 65535, a side outside 1 to 256 or
// pixels that do not match the size; *pError (when given) says which.
bool WriteIco(const std::vector<IcoImage>& images, std::vector<uint8_t>* pOut,
              std::string* pError = nullptr);
// As WriteIco, then writes the file whole or not at all.
bool WriteIcoFile(const std::vector<IcoImage>& images, const std::string& path,
                  std::string* pError = nullptr);

} // namespace pspwriter
