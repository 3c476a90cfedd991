// An application hook for the removal's tests. Each call appends "<entry> <product>" to the
// file $KELVANO_TEST_HOOK_RECORD; OnUninstallBegin declines while a file of that name plus
// ".decline" exists.
#include <cstdio>
#include <cstdlib>
#include <string>

#define TEST_HOOK_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

bool Record(const char* pszEntry, const char16_t* pszProduct) {
    const char* pszRecord = std::getenv("KELVANO_TEST_HOOK_RECORD");
    if (pszRecord == nullptr) return true;
    std::string line = pszEntry;
    line += ' ';
    for (; pszProduct != nullptr && *pszProduct != 0; ++pszProduct)
        line += *pszProduct < 0x80 ? static_cast<char>(*pszProduct) : '?';
    line += '\n';
    if (FILE* f = std::fopen(pszRecord, "a")) {
        std::fputs(line.c_str(), f);
        std::fclose(f);
    }
    const std::string decline = std::string(pszRecord) + ".decline";
    if (FILE* f = std::fopen(decline.c_str(), "r")) {
        std::fclose(f);
        return false;
    }
    return true;
}

} // namespace

TEST_HOOK_EXPORT unsigned char OnUninstallBegin(const char16_t* pszProduct) {
    return Record("OnUninstallBegin", pszProduct) ? 1 : 0;
}

TEST_HOOK_EXPORT unsigned char OnUninstallEnd(const char16_t* pszProduct) {
    Record("OnUninstallEnd", pszProduct);
    return 1;
}
