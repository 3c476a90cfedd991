// The maker's shared uninstaller. It runs inside whatever process loaded it (the shell tool's
// runner, the installer, the device service) with its own copy of the setup library, on the
// process's host layer, and talks to its caller only through these entries and process-heap
// blocks.
#include "setup/uninstaller.h"

#include "foundation/memmgr.h"
#include "foundation/tl_string.h"
#include "host/error.h"
#include "host/heap.h"
#include "host/library.h"
#include "setup/sl_internal.h"
#include "setup/sl_main.h"
#include "setup/sl_toolkit.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#define UNINSTALLER_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

using host::BYTE;
using host::DWORD;

// Answers a block-mode call: the text with its zero in a block the caller frees.
void Answer(std::u16string_view text, DWORD* pcbOutput, BYTE** ppbOutput) {
    if (pcbOutput != nullptr) *pcbOutput = 0;
    if (ppbOutput == nullptr) return;
    *ppbOutput = nullptr;
    const std::size_t cb = (text.size() + 1) * sizeof(char16_t);
    auto* pb = static_cast<BYTE*>(host::LocalAlloc(host::LPTR, cb));
    if (pb == nullptr) return;
    std::memcpy(pb, text.data(), text.size() * sizeof(char16_t)); // the zero is already there
    *ppbOutput = pb;
    if (pcbOutput != nullptr) *pcbOutput = static_cast<DWORD>(cb);
}

// The command line's product name: blanks around it and a pair of quotes go.
std::string ProductFromCommandLine(const char* pszCmdLine) {
    std::string_view line = pszCmdLine != nullptr ? pszCmdLine : "";
    auto fBlank = [](char ch) { return ch == ' ' || ch == '\t' || ch == '\r' || ch == '\n'; };
    while (!line.empty() && fBlank(line.front()))
        line.remove_prefix(1);
    while (!line.empty() && fBlank(line.back()))
        line.remove_suffix(1);
    if (line.size() >= 2 && line.front() == '"' && line.back() == '"')
        line = line.substr(1, line.size() - 2);
    return std::string(line);
}

void RemoveProduct(const char* pszCmdLine) {
    const std::string product = ProductFromCommandLine(pszCmdLine);
    if (product.empty()) {
        sl::Trace("setuplib: uninstall needs a product name\n");
        return;
    }
    // Run by the device (its tool or its service), the removal is the device's: its paths,
    // folders and registration, through this process's host layer, which is the device's.
    sl::SetupToolkit toolkit(nullptr, sl::InDeviceContext() ? sl::MakeLocalDeviceTarget()
                                                            : sl::MakeDesktopTarget());
    toolkit.uninstall(product.c_str());
}

} // namespace

// The removal is the last thing the runner does with this library: its end-of-program check.
UNINSTALLER_EXPORT void Uninstall(host::HWND, host::HINSTANCE, const char* pszCmdLine, int) {
    RemoveProduct(pszCmdLine);
    if (mem::CheckAtExit(0) != 0) {
        std::fflush(nullptr);
        std::_Exit(mem::kLeakExitCode);
    }
}

UNINSTALLER_EXPORT long GetUninstallVersion(DWORD, BYTE* pbInput, DWORD* pcbOutput,
                                            BYTE** ppbOutput, void*) {
    host::LocalFree(pbInput);
    const std::string version = std::to_string(sl::kUninstallerVersion);
    Answer(std::u16string(version.begin(), version.end()), pcbOutput, ppbOutput);
    return 0;
}

// Input: hook library, entry, product. A hook that cannot be found lets the removal go on.
UNINSTALLER_EXPORT long ChainAppHook(DWORD cbInput, BYTE* pbInput, DWORD* pcbOutput,
                                     BYTE** ppbOutput, void*) {
    const std::vector<std::u16string> texts =
        pbInput != nullptr ? sl::SplitTextBlock(pbInput, cbInput) : std::vector<std::u16string>();
    host::LocalFree(pbInput);
    if (texts.size() < 3) {
        Answer(u"1", pcbOutput, ppbOutput);
        return host::ERROR_INVALID_PARAMETER;
    }
    // On the device a hook's path is a device path, rooted even when written without its
    // "\": never a bare name searched for among this machine's libraries.
    std::u16string hook = texts[0];
    if (sl::InDeviceContext() && (hook.empty() || (hook[0] != u'\\' && hook[0] != u'/')))
        hook.insert(hook.begin(), u'\\');
    bool fAgreed = true;
    if (host::HMODULE hHook = host::LoadLibrary(hook.c_str())) {
        const cetl::string strEntry(texts[1].c_str());
        if (auto pfn = reinterpret_cast<sl::APPHOOK>(host::GetProcAddress(hHook, strEntry.Text8())))
            fAgreed = pfn(texts[2].c_str()) != 0;
        host::FreeLibrary(hHook);
    }
    Answer(fAgreed ? u"1" : u"0", pcbOutput, ppbOutput);
    return fAgreed ? 0 : sl::kHookDeclined;
}
