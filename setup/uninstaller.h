// The maker's shared uninstaller, "uninstaller.dll": one library in the maker's folder that
// removes every product of the maker, on this machine and on a device alike.
//
// Entries:
//   Uninstall            rundll32 entry; the command line is the product's name. Runs the
//                        removal of the product's uninstall log.
//   GetUninstallVersion  block mode, no input; answers the version as decimal text.
//   ChainAppHook         block mode, input: hook library path, entry name, product name.
//                        Loads the hook, calls Entry(product) and answers "1" (result 0)
//                        when it agreed or could not be found, "0" (result kHookDeclined)
//                        when it declined.
// Block mode is the remote API's: the input is 16-bit texts each followed by its zero, in a
// block from host::LocalAlloc that the entry frees; the output is a 16-bit text with its
// zero in a block from LocalAlloc that the caller frees with LocalFree. The same entries
// serve a local call (this machine loads the library) and a remote one (the device does).
//
// Application hooks, exported by a product's own "uninstall.dll":
//   BYTE OnUninstallBegin(const WCHAR* pszProduct)  non-zero: go on with the removal
//   BYTE OnUninstallEnd(const WCHAR* pszProduct)    after the removal; the result is ignored
#pragma once

#include "host/types.h"

#include <string>
#include <string_view>
#include <vector>

namespace sl {

inline constexpr char kszUninstallerFile[] = "uninstaller.dll";
inline constexpr char kszEntryUninstall[] = "Uninstall";
inline constexpr char kszEntryGetUninstallVersion[] = "GetUninstallVersion";
inline constexpr char kszEntryChainAppHook[] = "ChainAppHook";
inline constexpr char kszHookBegin[] = "OnUninstallBegin";
inline constexpr char kszHookEnd[] = "OnUninstallEnd";
// The name a product's hook has in the archive it is installed from.
inline constexpr char kszAppHookFile[] = "uninstall.dll";

// The version this build's uninstaller reports. An installed uninstaller reporting a version
// above 1 is kept by later installations.
constexpr int kUninstallerVersion = 2;
// ChainAppHook's result when the hook declined.
constexpr long kHookDeclined = 31;

using UNINSTALLENTRY = void (*)(host::HWND hwnd, host::HINSTANCE hInstance, const char* pszCmdLine,
                                int nShow);
using BLOCKENTRY = long (*)(host::DWORD cbInput, host::BYTE* pbInput, host::DWORD* pcbOutput,
                            host::BYTE** ppbOutput, void* pStream);
using APPHOOK = host::BYTE (*)(const host::WCHAR* pszProduct);

// Texts each with its zero, as one block's contents.
inline std::u16string MakeTextBlock(std::initializer_list<std::u16string_view> texts) {
    std::u16string block;
    for (std::u16string_view text : texts) {
        block.append(text);
        block.push_back(u'\0');
    }
    return block;
}

// The zero-terminated texts of a block; a last text without its zero counts too. An odd
// last byte is ignored.
inline std::vector<std::u16string> SplitTextBlock(const host::BYTE* pb, host::DWORD cb) {
    std::vector<std::u16string> texts;
    std::u16string current;
    bool fOpen = false;
    for (host::DWORD i = 0; i + 1 < cb; i += 2) {
        const char16_t ch = static_cast<char16_t>(pb[i] | (pb[i + 1] << 8));
        if (ch == u'\0') {
            texts.push_back(std::move(current));
            current.clear();
            fOpen = false;
        } else {
            current.push_back(ch);
            fOpen = true;
        }
    }
    if (fOpen) texts.push_back(std::move(current));
    return texts;
}

} // namespace sl
