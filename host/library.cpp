#include "host/library.h"

#include "host/codepage.h"
#include "host/error.h"
#include "host/file.h"

#include <dlfcn.h>
#include <elf.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <string>
#include <system_error>
#include <vector>

namespace host {
namespace {

namespace fs = std::filesystem;

struct Loaded {
    void* pDl = nullptr;
    std::string path;
    int nRefs = 0;
};

struct Libraries {
    std::mutex lock;
    std::map<HMODULE, Loaded> byModule;
};

Libraries& Libs() {
    static Libraries* p = new Libraries; // outlives static destructors that free libraries
    return *p;
}

bool EndsWithDll(const std::string& name) {
    if (name.size() < 4) return false;
    std::string tail = name.substr(name.size() - 4);
    for (auto& c : tail)
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return tail == ".dll";
}

// The file names a library may have in one folder: as given, then for "x.dll" the
// platform's names "libx.so" and "x.so" (a library we build is "libx.so"; a library
// installed under its classic name keeps it).
std::vector<std::string> Candidates(const std::string& fileName) {
    std::vector<std::string> names{fileName};
    if (EndsWithDll(fileName)) {
        const std::string stem = fileName.substr(0, fileName.size() - 4);
        names.push_back("lib" + stem + ".so");
        names.push_back(stem + ".so");
    }
    return names;
}

std::string ExecutableFolder() {
    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : exe.parent_path().string();
}

// The folders a bare name is looked for in: beside the executable, then
// $KELVANO_LIBRARY_PATH (colon-separated; empty entries are skipped).
std::vector<std::string> SearchFolders() {
    std::vector<std::string> folders;
    if (std::string exe = ExecutableFolder(); !exe.empty()) folders.push_back(exe);
    if (const char* psz = std::getenv("KELVANO_LIBRARY_PATH")) {
        std::string list = psz;
        std::size_t start = 0;
        while (start <= list.size()) {
            std::size_t end = list.find(':', start);
            if (end == std::string::npos) end = list.size();
            if (end > start) folders.push_back(list.substr(start, end - start));
            start = end + 1;
        }
    }
    return folders;
}

bool IsRegularFile(const std::string& path) {
    std::error_code ec;
    return fs::is_regular_file(path, ec);
}

// Every path tried, in order. A bare name has no separator and no drive.
std::vector<std::string> PathsFor(const std::string& name) {
    std::vector<std::string> paths;
    const bool fBare =
        name.find_first_of("/\\") == std::string::npos && !(name.size() >= 2 && name[1] == ':');
    if (fBare) {
        for (const auto& folder : SearchFolders())
            for (const auto& file : Candidates(name))
                paths.push_back((fs::path(folder) / file).string());
        return paths;
    }
    const std::string native = NativeFileName(std::string_view(name));
    if (native.empty()) return paths;
    const fs::path p(native);
    for (const auto& file : Candidates(p.filename().string()))
        paths.push_back((p.parent_path() / file).string());
    return paths;
}

// The loader maps a library's segments straight from the file, so one cut off (a crash
// while it was being written) would fault when touched instead of failing to load. Every
// segment and table the headers name must lie inside the file.
bool IsWholeLibrary(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    Elf64_Ehdr header{};
    if (!in.read(reinterpret_cast<char*>(&header), sizeof(header)) ||
        std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 ||
        header.e_ident[EI_CLASS] != ELFCLASS64 || header.e_phentsize != sizeof(Elf64_Phdr))
        return false;
    std::error_code ec;
    const std::uint64_t cbFile = fs::file_size(path, ec);
    if (ec) return false;
    auto fits = [cbFile](std::uint64_t offset, std::uint64_t cb) {
        return offset <= cbFile && cb <= cbFile - offset;
    };
    if (!fits(header.e_phoff, std::uint64_t{header.e_phnum} * sizeof(Elf64_Phdr)) ||
        (header.e_shoff != 0 &&
         !fits(header.e_shoff, std::uint64_t{header.e_shnum} * header.e_shentsize)))
        return false;
    in.seekg(static_cast<std::streamoff>(header.e_phoff));
    for (unsigned i = 0; i < header.e_phnum; ++i) {
        Elf64_Phdr segment{};
        if (!in.read(reinterpret_cast<char*>(&segment), sizeof(segment))) return false;
        if (segment.p_type == PT_LOAD && !fits(segment.p_offset, segment.p_filesz)) return false;
    }
    return true;
}

HMODULE Load(const std::string& name) {
    bool fDamaged = false;
    for (const auto& candidate : PathsFor(name)) {
        if (!IsRegularFile(candidate)) continue;
        if (!IsWholeLibrary(candidate)) {
            fDamaged = true;
            continue;
        }
        std::error_code ec;
        std::string path = fs::absolute(candidate, ec).lexically_normal().string();
        if (ec) path = candidate;
        // A path with a "/" keeps dlopen from searching the system's folders.
        void* pDl = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!pDl) continue;
        HMODULE hModule = GetModuleFromLibrary(pDl);
        if (!hModule) {
            dlclose(pDl);
            continue;
        }
        auto& libs = Libs();
        bool fFirst = false;
        {
            std::lock_guard g(libs.lock);
            Loaded& entry = libs.byModule[hModule];
            if (entry.nRefs == 0) {
                entry.pDl = pDl;
                entry.path = path;
                fFirst = true;
            } else {
                dlclose(pDl); // the first handle keeps it loaded
            }
            ++entry.nRefs;
        }
        if (fFirst) MarkFileInUse(path, true);
        return hModule;
    }
    SetLastError(fDamaged ? ERROR_BAD_EXE_FORMAT : ERROR_MOD_NOT_FOUND);
    return nullptr;
}

} // namespace

HMODULE LoadLibrary(const char* pszName) {
    if (!pszName || !*pszName) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    return Load(pszName);
}

HMODULE LoadLibrary(const WCHAR* pszName) {
    if (!pszName || !*pszName) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    return Load(ToUtf8(pszName));
}

FARPROC GetProcAddress(HMODULE hModule, const char* pszExport) {
    if (!pszExport) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    void* pDl = nullptr;
    bool fSelf = false;
    if (!hModule) {
        fSelf = true; // the executable
        pDl = dlopen(nullptr, RTLD_NOW);
    } else {
        auto& libs = Libs();
        std::lock_guard g(libs.lock);
        auto it = libs.byModule.find(hModule);
        if (it != libs.byModule.end()) pDl = it->second.pDl;
    }
    if (!pDl) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    void* p = dlsym(pDl, pszExport);
    if (fSelf) dlclose(pDl);
    if (!p) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    FARPROC f;
    static_assert(sizeof(f) == sizeof(p));
    std::memcpy(&f, &p, sizeof(f));
    return f;
}

BOOL FreeLibrary(HMODULE hModule) {
    void* pDl = nullptr;
    std::string path;
    {
        auto& libs = Libs();
        std::lock_guard g(libs.lock);
        auto it = libs.byModule.find(hModule);
        if (it == libs.byModule.end()) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        if (--it->second.nRefs > 0) return TRUE;
        pDl = it->second.pDl;
        path = std::move(it->second.path);
        libs.byModule.erase(it);
    }
    dlclose(pDl);
    MarkFileInUse(path, false);
    return TRUE;
}

BOOL GetModuleFileName(HMODULE hModule, char* pszPath, DWORD cchPath) {
    std::string path;
    if (!hModule) {
        std::error_code ec;
        path = fs::read_symlink("/proc/self/exe", ec).string();
    } else {
        auto& libs = Libs();
        std::lock_guard g(libs.lock);
        auto it = libs.byModule.find(hModule);
        if (it != libs.byModule.end()) path = it->second.path;
    }
    if (path.empty()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!pszPath || path.size() + 1 > cchPath) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    std::memcpy(pszPath, path.c_str(), path.size() + 1);
    return TRUE;
}

} // namespace host
