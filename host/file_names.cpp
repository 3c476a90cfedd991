// Classic names ("C:\Games\x.exe", "\Windows\y") onto native paths under the drive folders.
#include "host/file.h"

#include "host/codepage.h"
#include "host/error.h"
#include "host/file_internal.h"

#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace host {

namespace {

std::string DriveCFromEnvironment() {
    if (const char* dir = std::getenv("KELVANO_DRIVE_DIR"); dir != nullptr && dir[0] == '/')
        return dir;
    std::string base;
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg != nullptr && xdg[0] == '/') {
        base = xdg;
    } else if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/') {
        base = std::string(home) + "/.local/share";
    } else {
        struct passwd pw;
        struct passwd* found = nullptr;
        char buf[4096];
        if (getpwuid_r(getuid(), &pw, buf, sizeof buf, &found) != 0 || found == nullptr) return "";
        base = std::string(found->pw_dir) + "/.local/share";
    }
    return base + "/kelvano/drive-c";
}

bool MakeFolders(const std::string& folder) {
    struct stat st;
    if (stat(folder.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
    for (std::size_t pos = 1; pos <= folder.size(); ++pos) {
        if (pos < folder.size() && folder[pos] != '/') continue;
        std::string prefix = folder.substr(0, pos);
        if (mkdir(prefix.c_str(), 0755) != 0 && errno != EEXIST) return false;
    }
    return stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsAscii(std::string_view s) {
    for (char c : s)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

bool SameIgnoringCase(std::string_view a, std::string_view b, const std::u16string& bFolded) {
    // Most names are ASCII, where folding cannot change the length: no conversion needed.
    if (IsAscii(a) && IsAscii(b)) {
        if (a.size() != b.size()) return false;
        for (std::size_t i = 0; i < a.size(); ++i)
            if (FoldCaseChar(static_cast<char16_t>(a[i])) !=
                FoldCaseChar(static_cast<char16_t>(b[i])))
                return false;
        return true;
    }
    return FoldCase(ToUtf16(a)) == bFolded;
}

// The name of folder's entry that matches component: itself when it exists as written, an
// entry in another case when one does, else component as written (it is about to be made).
std::string ExistingSpelling(const std::string& folder, const std::string& component,
                             bool& fFolderExists) {
    if (!fFolderExists) return component;
    std::string path = folder + "/" + component;
    struct stat st;
    if (lstat(path.c_str(), &st) == 0) return component;
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) {
        fFolderExists = false;
        return component;
    }
    std::u16string folded = FoldCase(ToUtf16(component));
    std::string found = component;
    bool fFound = false;
    while (dirent* entry = readdir(dir)) {
        std::string_view name = entry->d_name;
        if (name == "." || name == "..") continue;
        if (SameIgnoringCase(name, component, folded)) {
            found = std::string(name);
            fFound = true;
            break;
        }
    }
    closedir(dir);
    // A missing component means nothing below it exists either.
    if (!fFound) fFolderExists = false;
    return found;
}

bool ForbiddenInName(char c) {
    return c == '\0' || c == ':' || c == '*' || c == '?' || c == '"' || c == '<' || c == '>' ||
           c == '|';
}

} // namespace

namespace {

// The drive folder's native path, not made.
std::string DrivePath(char chDrive) {
    if (chDrive >= 'a' && chDrive <= 'z') chDrive = static_cast<char>(chDrive - 'a' + 'A');
    if (chDrive < 'A' || chDrive > 'Z') return "";
    std::string folder = DriveCFromEnvironment();
    if (folder.empty()) return "";
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    if (chDrive != 'C') {
        std::size_t slash = folder.rfind('/');
        folder = folder.substr(0, slash == 0 ? 1 : slash);
        if (folder.back() != '/') folder += '/';
        folder += "drive-";
        folder += static_cast<char>(chDrive - 'A' + 'a');
    }
    return folder;
}

} // namespace

std::string DriveFolder(char chDrive) {
    std::string folder = DrivePath(chDrive);
    if (folder.empty() || !MakeFolders(folder)) return "";
    return folder;
}

bool IsProgramName(const std::string& native) {
    static constexpr char kszSuffix[] = ".exe";
    constexpr std::size_t cch = sizeof kszSuffix - 1;
    if (native.size() <= cch || native[native.size() - cch - 1] == '/') return false;
    for (std::size_t i = 0; i < cch; ++i) {
        char c = native[native.size() - cch + i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != kszSuffix[i]) return false;
    }
    return true;
}

mode_t NewFileMode(const std::string& native) {
    return IsProgramName(native) ? 0755 : 0644;
}

void KeepProgramRunnable(const std::string& native) {
    struct stat st {};
    if (!IsProgramName(native) || stat(native.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return;
    // Execute wherever reading is allowed (r bits shifted onto x bits).
    const mode_t mode = st.st_mode | ((st.st_mode & 0444) >> 2);
    if (mode != st.st_mode) chmod(native.c_str(), mode & 07777);
}

bool IsDriveRoot(const std::string& native) {
    std::string c = DrivePath('C');
    if (c.empty()) return false;
    if (native == c) return true;
    std::size_t slash = c.rfind('/');
    std::string prefix = c.substr(0, slash == 0 ? 1 : slash);
    if (prefix.back() != '/') prefix += '/';
    prefix += "drive-";
    return native.size() == prefix.size() + 1 && native.compare(0, prefix.size(), prefix) == 0 &&
           native.back() >= 'a' && native.back() <= 'z';
}

std::string NativeFileName(std::string_view name) {
    std::size_t posRest = 0;
    char chDrive = 0;
    if (name.size() >= 2 && name[1] == ':' &&
        ((name[0] >= 'A' && name[0] <= 'Z') || (name[0] >= 'a' && name[0] <= 'z'))) {
        chDrive = name[0];
        posRest = 2;
    } else if (!name.empty() && name[0] == '\\') {
        chDrive = 'C';
    } else {
        // A native path keeps its meaning; only a NUL cannot reach the kernel.
        if (name.empty() || name.find('\0') != std::string_view::npos) return "";
        return std::string(name);
    }

    // Split on both separators; "." stays, ".." drops one component but never the root.
    std::vector<std::string> components;
    std::size_t pos = posRest;
    while (pos <= name.size()) {
        std::size_t end = name.find_first_of("\\/", pos);
        if (end == std::string_view::npos) end = name.size();
        std::string_view part = name.substr(pos, end - pos);
        pos = end + 1;
        if (part.empty() || part == ".") continue;
        if (part == "..") {
            if (!components.empty()) components.pop_back();
            continue;
        }
        for (char c : part)
            if (ForbiddenInName(c)) return "";
        components.emplace_back(part);
    }

    // Most names are spelled as they exist, or only their last component is new: one lstat
    // of the whole path (and one of its folder) settles those without walking. A name that
    // exists needs no check that its drive folder does.
    std::string path = DrivePath(chDrive);
    if (path.empty()) return "";
    if (!components.empty()) {
        std::string exact = path;
        std::size_t cchFolder = 0;
        for (const std::string& component : components) {
            if (exact.back() != '/') exact += '/';
            cchFolder = exact.size() - 1;
            exact += component;
        }
        struct stat st;
        if (lstat(exact.c_str(), &st) == 0) return exact;
        if (DriveFolder(chDrive).empty()) return "";
        const std::string folder = exact.substr(0, cchFolder == 0 ? 1 : cchFolder);
        if (stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
            bool fFolderExists = true;
            const std::string spelled = ExistingSpelling(folder, components.back(), fFolderExists);
            return (folder.back() == '/' ? folder : folder + "/") + spelled;
        }
    }
    if (DriveFolder(chDrive).empty()) return "";
    bool fExists = true;
    for (const std::string& component : components) {
        std::string spelled = ExistingSpelling(path, component, fExists);
        if (path.back() != '/') path += '/';
        path += spelled;
    }
    return path;
}

std::string NativeFileName(std::u16string_view name) {
    return NativeFileName(ToUtf8(name));
}

} // namespace host
