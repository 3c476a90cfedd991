#include "host/shell.h"

#include "host/error.h"
#include "host/registry.h"

#include <mutex>
#include <string>

namespace host {
namespace {

constexpr const WCHAR* kCurrentVersion = u"Software\\Microsoft\\Windows\\CurrentVersion";

struct Seed {
    const WCHAR* key;
    const WCHAR* value;
    const WCHAR* data;
};
constexpr Seed kSeeds[] = {
    {kCurrentVersion, u"ProgramFilesDir", u"C:\\Program Files"},
    {u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders", u"Common Programs",
     u"C:\\ProgramData\\Start Menu\\Programs"},
    {u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders", u"Common Startup",
     u"C:\\ProgramData\\Start Menu\\Programs\\Startup"},
};

bool SeedAll() {
    bool fOk = true;
    for (const Seed& seed : kSeeds) {
        HKEY hKey = nullptr;
        if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, seed.key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            &hKey, nullptr) != ERROR_SUCCESS) {
            fOk = false;
            continue;
        }
        // Any value already there is the user's (or an earlier seed's): kept whatever it is.
        if (RegQueryValueExW(hKey, seed.value, nullptr, nullptr, nullptr, nullptr) ==
            ERROR_FILE_NOT_FOUND) {
            const std::u16string data = seed.data;
            const auto cb = static_cast<DWORD>((data.size() + 1) * sizeof(WCHAR));
            if (RegSetValueExW(hKey, seed.value, 0, REG_SZ,
                               reinterpret_cast<const BYTE*>(data.c_str()), cb) != ERROR_SUCCESS)
                fOk = false;
        }
        RegCloseKey(hKey);
    }
    HKEY hUninstall = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE,
                        u"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall", 0, nullptr, 0,
                        KEY_ALL_ACCESS, nullptr, &hUninstall, nullptr) == ERROR_SUCCESS)
        RegCloseKey(hUninstall);
    else
        fOk = false;
    return fOk;
}

bool IsSpace(char c) {
    return c == ' ' || c == '\t';
}

bool IsEntryChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '@';
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

} // namespace

void SeedShellFolders() {
    // Once per registry folder: tests and tools may move the registry while running.
    static std::mutex lock;
    static std::string seededFolder;
    static bool fSeeded = false;
    std::lock_guard g(lock);
    std::string folder = RegGetStorageFolder();
    if (fSeeded && folder == seededFolder) return;
    if (SeedAll()) {
        fSeeded = true;
        seededFolder = std::move(folder);
    }
}

bool ParseRunDllCommand(std::string_view line, RunDllCommandParts* pParts) {
    std::size_t i = 0;
    auto skipSpaces = [&] {
        while (i < line.size() && IsSpace(line[i]))
            ++i;
    };
    skipSpaces();
    std::size_t start = i;
    while (i < line.size() && !IsSpace(line[i]))
        ++i;
    const std::string_view program = line.substr(start, i - start);
    if (!EqualsNoCase(program, "rundll32") && !EqualsNoCase(program, "rundll32.exe")) return false;
    skipSpaces();
    if (i == start + program.size()) return false; // no space after the program
    std::string path;
    if (i < line.size() && line[i] == '"') {
        const std::size_t close = line.find('"', i + 1);
        if (close == std::string_view::npos) return false;
        path = line.substr(i + 1, close - i - 1);
        i = close + 1;
        skipSpaces();
    } else {
        const std::size_t comma = line.find(',', i);
        if (comma == std::string_view::npos) return false;
        std::size_t end = comma;
        while (end > i && IsSpace(line[end - 1]))
            --end;
        path = line.substr(i, end - i);
        if (path.find('"') != std::string::npos) return false;
        i = comma;
    }
    if (path.empty() || i >= line.size() || line[i] != ',') return false;
    ++i;
    skipSpaces();
    start = i;
    while (i < line.size() && IsEntryChar(line[i]))
        ++i;
    if (i == start || (i < line.size() && !IsSpace(line[i]))) return false;
    pParts->path = std::move(path);
    pParts->entry = std::string(line.substr(start, i - start));
    skipSpaces();
    pParts->rest = std::string(line.substr(i));
    return true;
}

BOOL RunDllCommand(const std::string& commandLine, int nShow) {
    RunDllCommandParts parts;
    if (commandLine.find('\0') != std::string::npos || !ParseRunDllCommand(commandLine, &parts)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    HMODULE hModule = LoadLibrary(parts.path.c_str());
    if (!hModule) return FALSE;
    FARPROC p = GetProcAddress(hModule, parts.entry.c_str());
    if (!p) {
        FreeLibrary(hModule);
        SetLastError(ERROR_PROC_NOT_FOUND);
        return FALSE;
    }
    reinterpret_cast<RUNDLLENTRY>(p)(nullptr, hModule, parts.rest.c_str(), nShow);
    FreeLibrary(hModule);
    return TRUE;
}

} // namespace host
