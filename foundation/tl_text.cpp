#include "foundation/tl_text.h"

#include "foundation/tl_string.h"

#include <atomic>

namespace cetl {
namespace {

std::atomic<TextLookup> g_pfnLookup{nullptr};

} // namespace

void SetTextLookup(TextLookup pfnLookup) {
    g_pfnLookup.store(pfnLookup);
}

bool LookupText(UINT id, string& out) {
    TextLookup pfn = g_pfnLookup.load();
    if (pfn == nullptr) return false;
    string strText;
    if (!pfn(id, strText)) return false;
    out = std::move(strText);
    return true;
}

} // namespace cetl
