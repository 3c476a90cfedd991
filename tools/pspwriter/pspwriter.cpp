#include "tools/pspwriter/pspwriter.h"

#include <zlib.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>

namespace pspwriter {
namespace {

constexpr uint16_t kMajorVersion = 5;

enum : uint16_t {
    kBlockImage = 0,
    kBlockPalette = 2,
    kBlockLayerStart = 3,
    kBlockLayer = 4,
    kBlockChannel = 5,
    kBlockSelection = 6,
};

class Buffer {
public:
    std::vector<uint8_t> bytes;
    // Set when a block grew past the format's 32-bit length.
    bool fTooLarge = false;
    void U8(uint32_t n) { bytes.push_back(static_cast<uint8_t>(n)); }
    void U16(uint32_t n) {
        U8(n);
        U8(n >> 8);
    }
    void U32(uint32_t n) {
        U16(n);
        U16(n >> 16);
    }
    void F64(double d) {
        uint64_t n;
        std::memcpy(&n, &d, sizeof(n));
        U32(static_cast<uint32_t>(n));
        U32(static_cast<uint32_t>(n >> 32));
    }
    void Rect(const PspRect& rc) {
        U32(rc.left);
        U32(rc.top);
        U32(rc.right);
        U32(rc.bottom);
    }
    void Append(const std::vector<uint8_t>& other) {
        bytes.insert(bytes.end(), other.begin(), other.end());
    }
    void Block(uint16_t nKind, const Buffer& body) {
        if (body.fTooLarge || body.bytes.size() > std::numeric_limits<uint32_t>::max())
            fTooLarge = true;
        Append({'~', 'B', 'K', 0});
        U16(nKind);
        U32(static_cast<uint32_t>(body.bytes.size()));
        Append(body.bytes);
    }
};

bool Compress(const std::vector<uint8_t>& data, Compression compression,
              std::vector<uint8_t>* pOut) {
    switch (compression) {
    case Compression::None:
        *pOut = data;
        return true;
    case Compression::RunLength:
        *pOut = EncodeRunLength(data);
        return true;
    case Compression::Deflate: {
        uLongf cb = compressBound(static_cast<uLong>(data.size()));
        pOut->resize(cb);
        if (compress2(pOut->data(), &cb, data.data(), static_cast<uLong>(data.size()),
                      Z_BEST_COMPRESSION) != Z_OK)
            return false;
        pOut->resize(cb);
        return true;
    }
    }
    return false;
}

bool AppendChannel(Buffer* pBody, const std::vector<uint8_t>& data, uint16_t nBitmapType,
                   uint16_t nChannelType, Compression compression) {
    std::vector<uint8_t> packed;
    if (!Compress(data, compression, &packed)) return false;
    Buffer channel;
    channel.U32(16);
    channel.U32(static_cast<uint32_t>(packed.size()));
    channel.U32(static_cast<uint32_t>(data.size()));
    channel.U16(nBitmapType);
    channel.U16(nChannelType);
    channel.Append(packed);
    pBody->Block(kBlockChannel, channel);
    return true;
}

int64_t Width(const PspRect& rc) {
    return int64_t{rc.right} - rc.left;
}
int64_t Height(const PspRect& rc) {
    return int64_t{rc.bottom} - rc.top;
}

// Where a layer sits: its own rectangle, or the whole image when that is all zero.
PspRect Placement(const PspImage& image, const PspLayer& layer) {
    const PspRect& rc = layer.rc;
    if (rc.left == 0 && rc.top == 0 && rc.right == 0 && rc.bottom == 0)
        return {0, 0, image.cx, image.cy};
    return rc;
}

std::string Size(int64_t cx, int64_t cy) {
    return std::to_string(cx) + "x" + std::to_string(cy);
}

std::string Corners(const PspRect& rc) {
    return "(" + std::to_string(rc.left) + "," + std::to_string(rc.top) + ")-(" +
           std::to_string(rc.right) + "," + std::to_string(rc.bottom) + ")";
}

std::vector<uint16_t> ChannelsOf(const PspImage& image, const PspLayer& layer) {
    if (!layer.channels.empty()) return layer.channels;
    return image.nDepth == 24 ? std::vector<uint16_t>{1, 2, 3} : std::vector<uint16_t>{0};
}

// Empty when one layer is sound; else what is wrong with it.
std::string CheckLayer(const PspImage& image, const PspLayer& layer, size_t iLayer) {
    const std::string what = "layer " + std::to_string(iLayer + 1);
    PspRect rc = Placement(image, layer);
    int64_t cx = Width(rc), cy = Height(rc);
    if (cx <= 0 || cy <= 0) return what + ": empty rectangle " + Corners(rc);
    int64_t cPixels = cx * cy;
    // The reader keeps no more of a channel than the image has padded pixels.
    int64_t cMax = int64_t{image.cy} * ((int64_t{image.cx} + 3) / 4 * 4);
    if (cPixels > cMax)
        return what + " is " + Size(cx, cy) + " (" + std::to_string(cPixels) +
               " pixels), more than the " + std::to_string(cMax) +
               " a reader keeps of one channel in a " + Size(image.cx, image.cy) + " image";
    int64_t cbPixel = image.nDepth / 8;
    if (static_cast<int64_t>(layer.pixels.size()) != cPixels * cbPixel)
        return what + ": " + std::to_string(layer.pixels.size()) + " bytes of pixels for " +
               Size(cx, cy) + " at " + std::to_string(image.nDepth) + " bits; expected " +
               std::to_string(cPixels * cbPixel);
    if (!layer.mask.empty() && static_cast<int64_t>(layer.mask.size()) != cPixels)
        return what + ": mask of " + std::to_string(layer.mask.size()) + " bytes for " +
               Size(cx, cy) + "; expected " + std::to_string(cPixels);
    if (!layer.userMask.empty() && layer.mask.empty())
        return what + ": a user mask without a first mask";
    if (!layer.userMask.empty() && static_cast<int64_t>(layer.userMask.size()) != cPixels)
        return what + ": user mask of " + std::to_string(layer.userMask.size()) + " bytes for " +
               Size(cx, cy) + "; expected " + std::to_string(cPixels);
    if (layer.nMaskType != 1 && layer.nMaskType != 2)
        return what + ": mask type " + std::to_string(layer.nMaskType) +
               " is neither 1 (transparency) nor 2 (user)";
    std::vector<uint16_t> channels = ChannelsOf(image, layer);
    for (uint16_t n : channels)
        if (n > 3) return what + ": channel type " + std::to_string(n) + " is not 0 to 3";
    if (channels.size() + 2 > 0xFFFF)
        return what + ": " + std::to_string(channels.size()) +
               " channels; the format counts at most 65535 with the masks";
    if (layer.name.size() > 0xFFFF)
        return what + ": name of " + std::to_string(layer.name.size()) +
               " bytes; the format holds at most 65535";
    return {};
}

// Empty when the image can be written and read back whole; else what is wrong.
std::string Check(const PspImage& image) {
    if (image.nDepth != 8 && image.nDepth != 24)
        return "depth " + std::to_string(image.nDepth) + " is neither 8 nor 24 bits";
    if (static_cast<uint16_t>(image.compression) > 2)
        return "compression " + std::to_string(static_cast<uint16_t>(image.compression)) +
               " is not 0 (none), 1 (run-length) or 2 (deflate)";
    if (image.cx < 1 || image.cy < 1 || image.cx > kMaxSide || image.cy > kMaxSide)
        return "image size " + Size(image.cx, image.cy) + " is outside 1x1 to " +
               Size(kMaxSide, kMaxSide);
    int64_t cbRow = (int64_t{image.cx} * image.nDepth + 31) / 32 * 4;
    if (cbRow * image.cy > kMaxImageBytes)
        return "image size " + Size(image.cx, image.cy) + " at " + std::to_string(image.nDepth) +
               " bits needs " + std::to_string(cbRow * image.cy) +
               " bytes of pixels; a reader creates at most " + std::to_string(kMaxImageBytes);
    if (image.layers.size() > 0xFFFF)
        return std::to_string(image.layers.size()) + " layers; the format holds at most 65535";
    int64_t cbFrame = int64_t{image.cx} * image.cy * (image.nDepth / 8);
    int64_t cbFrames = cbFrame * static_cast<int64_t>(image.layers.size());
    if (image.layers.size() > 1 && cbFrames > kMaxFrameBytes)
        return std::to_string(image.layers.size()) + " layers of " + Size(image.cx, image.cy) +
               " at " + std::to_string(image.nDepth) + " bits make " + std::to_string(cbFrames) +
               " bytes of frames; a reader keeps at most " + std::to_string(kMaxFrameBytes);
    for (size_t i = 0; i < image.layers.size(); ++i) {
        std::string error = CheckLayer(image, image.layers[i], i);
        if (!error.empty()) return error;
    }
    if (image.fSelection) {
        const PspSelection& sel = image.selection;
        if (sel.rc.left < 0 || sel.rc.top < 0 || sel.rc.right > image.cx ||
            sel.rc.bottom > image.cy || Width(sel.rc) <= 0 || Height(sel.rc) <= 0)
            return "selection " + Corners(sel.rc) + " does not lie inside the " +
                   Size(image.cx, image.cy) + " image";
        int64_t cb = Width(sel.rc) * Height(sel.rc);
        if (static_cast<int64_t>(sel.bytes.size()) != cb)
            return "selection: " + std::to_string(sel.bytes.size()) + " bytes for " +
                   Size(Width(sel.rc), Height(sel.rc)) + "; expected " + std::to_string(cb);
    }
    return {};
}

// The layer is known sound (Check).
bool AppendLayer(Buffer* pLayers, const PspImage& image, const PspLayer& layer) {
    PspRect rc = Placement(image, layer);
    size_t cPixels = static_cast<size_t>(rc.Width()) * rc.Height();
    size_t cbPixel = image.nDepth == 24 ? 3 : 1;
    std::vector<uint16_t> channels = ChannelsOf(image, layer);
    bool fMask = !layer.mask.empty();
    PspRect rcSaved{0, 0, rc.Width(), rc.Height()};
    int cMasks = fMask ? (layer.userMask.empty() ? 1 : 2) : 0;
    PspRect rcMask = fMask && (layer.nMaskType == 2 || cMasks == 2) ? rcSaved : PspRect{};

    Buffer info;
    info.U16(static_cast<uint32_t>(layer.name.size()));
    info.Append(std::vector<uint8_t>(layer.name.begin(), layer.name.end()));
    info.U8(0); // normal layer
    info.Rect(rc);
    info.Rect(rcSaved);
    info.U8(255); // opacity
    info.U8(0);   // blending mode
    info.U8(1);   // visible
    info.U8(0);   // transparency protection
    info.U8(0);   // link group
    info.Rect(rcMask);
    info.Rect(rcMask);
    info.U8(fMask ? 1 : 0); // mask linked
    info.U8(0);             // mask disabled
    info.U8(0);             // invert mask

    Buffer body;
    body.U32(static_cast<uint32_t>(info.bytes.size() + 4));
    body.Append(info.bytes);
    body.U32(8);
    body.U16(1 + cMasks);
    body.U16(static_cast<uint32_t>(channels.size() + cMasks));
    for (uint16_t nChannel : channels) {
        std::vector<uint8_t> data(cPixels);
        if (cbPixel == 1) {
            data = layer.pixels;
        } else {
            size_t iByte = nChannel == 0 ? 0 : nChannel - 1u;
            for (size_t i = 0; i < cPixels; ++i)
                data[i] = layer.pixels[i * 3 + iByte];
        }
        if (!AppendChannel(&body, data, 0, nChannel, image.compression)) return false;
    }
    if (fMask && !AppendChannel(&body, layer.mask, layer.nMaskType, 0, image.compression))
        return false;
    if (cMasks == 2 && !AppendChannel(&body, layer.userMask, 2, 0, image.compression)) return false;
    pLayers->Block(kBlockLayer, body);
    return true;
}

} // namespace

std::vector<uint8_t> EncodeRunLength(const std::vector<uint8_t>& data) {
    std::vector<uint8_t> out;
    size_t i = 0, n = data.size();
    while (i < n) {
        size_t cRun = 1;
        while (i + cRun < n && cRun < 127 && data[i + cRun] == data[i])
            ++cRun;
        if (cRun >= 3) {
            out.push_back(static_cast<uint8_t>(128 + cRun));
            out.push_back(data[i]);
            i += cRun;
            continue;
        }
        // Literals up to the next run of three or 128 bytes.
        size_t iStart = i;
        while (i < n && i - iStart < 128) {
            if (i + 2 < n && data[i] == data[i + 1] && data[i] == data[i + 2]) break;
            ++i;
        }
        out.push_back(static_cast<uint8_t>(i - iStart));
        out.insert(out.end(), data.begin() + iStart, data.begin() + i);
    }
    return out;
}

bool WritePsp(const PspImage& image, std::vector<uint8_t>* pOut, std::string* pError) {
    std::string error = Check(image);
    if (!error.empty()) {
        if (pError) *pError = error;
        return false;
    }
    const std::string kCompressFailed = "the channel data could not be compressed";

    Buffer file;
    static const char kSignature[] = "Paint Shop Pro Image File\n\x1a";
    std::vector<uint8_t> signature(32, 0);
    std::memcpy(signature.data(), kSignature, sizeof(kSignature) - 1);
    file.Append(signature);
    file.U16(kMajorVersion);
    file.U16(0);

    Buffer attributes;
    attributes.U32(46);
    attributes.U32(image.cx);
    attributes.U32(image.cy);
    attributes.F64(72.0);
    attributes.U8(1); // pixels per inch
    attributes.U16(static_cast<uint16_t>(image.compression));
    attributes.U16(image.nDepth);
    attributes.U16(1);
    attributes.U32(image.nDepth == 8 ? 256 : 1u << 24);
    attributes.U8(0);
    attributes.U32(static_cast<uint32_t>(int64_t{image.cx} * image.cy * (image.nDepth / 8)));
    attributes.U32(0); // active layer
    attributes.U16(static_cast<uint32_t>(image.layers.size()));
    attributes.U32(image.layers.empty() ? 0 : 1); // raster layers
    file.Block(kBlockImage, attributes);

    if (!image.palette.empty()) {
        Buffer palette;
        palette.U32(8);
        palette.U32(static_cast<uint32_t>(image.palette.size()));
        for (const auto& rgb : image.palette) {
            palette.U8(rgb[2]);
            palette.U8(rgb[1]);
            palette.U8(rgb[0]);
            palette.U8(0);
        }
        file.Block(kBlockPalette, palette);
    }

    if (!image.layers.empty()) {
        Buffer layers;
        for (const PspLayer& layer : image.layers) {
            if (!AppendLayer(&layers, image, layer)) {
                if (pError) *pError = kCompressFailed;
                return false;
            }
        }
        file.Block(kBlockLayerStart, layers);
    }

    if (image.fSelection) {
        const PspSelection& sel = image.selection;
        Buffer body;
        body.U32(36);
        body.Rect(sel.rc);
        body.Rect(sel.rc);
        body.U32(8);
        body.U16(1);
        body.U16(1);
        if (!AppendChannel(&body, sel.bytes, 3, 0, image.compression)) {
            if (pError) *pError = kCompressFailed;
            return false;
        }
        file.Block(kBlockSelection, body);
    }
    // Block lengths are 32 bits, and so is the length a reader takes.
    if (file.fTooLarge || file.bytes.size() > std::numeric_limits<uint32_t>::max()) {
        if (pError)
            *pError = "the file would pass 4 GiB, more than the format's 32-bit lengths hold";
        return false;
    }
    *pOut = std::move(file.bytes);
    return true;
}

bool WriteFileReplacing(const std::vector<uint8_t>& bytes, const std::string& path,
                        std::string* pError) {
    auto Fail = [&](const std::string& what) {
        if (pError) *pError = what + " (" + std::strerror(errno) + ")";
        return false;
    };
    // A finished file or none: write beside it, then rename over.
    std::string temp = path + ".tmp";
    FILE* pf = std::fopen(temp.c_str(), "wb");
    if (!pf) return Fail(temp + ": cannot create");
    bool fOk = std::fwrite(bytes.data(), 1, bytes.size(), pf) == bytes.size();
    fOk = std::fclose(pf) == 0 && fOk;
    if (!fOk) {
        Fail(temp + ": cannot write");
        std::remove(temp.c_str());
        return false;
    }
    if (std::rename(temp.c_str(), path.c_str()) != 0) {
        Fail(path + ": cannot replace");
        std::remove(temp.c_str());
        return false;
    }
    return true;
}

bool WritePspFile(const PspImage& image, const std::string& path, std::string* pError) {
    std::vector<uint8_t> bytes;
    return WritePsp(image, &bytes, pError) && WriteFileReplacing(bytes, path, pError);
}

} // namespace pspwriter
