// Shortcuts and their freedesktop twins (the format is in host/shell.h).
#include "host/codepage.h"
#include "host/error.h"
#include "host/file.h"
#include "host/file_internal.h"
#include "host/shell.h"

#include <unistd.h>

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

namespace host {
namespace {

namespace fs = std::filesystem;

constexpr const char* kHeader = "[Kelvano Shortcut]";
constexpr const char* kTwinPrefix = "kelvano-link-";
constexpr const char* kTwinLinkKey = "X-Kelvano-Link=";

std::string ApplicationsFolder() {
    if (const char* psz = std::getenv("KELVANO_APPLICATIONS_DIR"); psz && *psz) return psz;
    if (const char* psz = std::getenv("XDG_DATA_HOME"); psz && *psz)
        return (fs::path(psz) / "applications").string();
    if (const char* psz = std::getenv("HOME"); psz && *psz)
        return (fs::path(psz) / ".local/share/applications").string();
    return {};
}

std::string LinkNativePath(const WCHAR* pszLinkPath) {
    if (!pszLinkPath || !*pszLinkPath) return {};
    std::string native = NativeFileName(std::u16string_view(pszLinkPath));
    if (native.empty()) return {};
    std::error_code ec;
    fs::path absolute = fs::absolute(native, ec);
    return ec ? native : absolute.lexically_normal().string();
}

std::string TwinPathFor(const std::string& nativeLink) {
    const std::string folder = ApplicationsFolder();
    if (folder.empty() || nativeLink.empty()) return {};
    std::uint64_t hash = 14695981039346656037ull; // FNV-1a
    for (unsigned char c : nativeLink) {
        hash ^= c;
        hash *= 1099511628211ull;
    }
    char hex[17];
    std::snprintf(hex, sizeof(hex), "%016llx", static_cast<unsigned long long>(hash));
    return (fs::path(folder) / (std::string(kTwinPrefix) + hex + ".desktop")).string();
}

bool HasLineBreakOrZero(const std::u16string& text) {
    return text.find_first_of(std::u16string(u"\r\n\0", 3)) != std::u16string::npos;
}

// Written beside, flushed, renamed over: a reader sees the old file or the new one.
bool WriteAtomically(const std::string& path, const std::string& text) {
    const std::string temp = path + ".tmp-" + std::to_string(::getpid());
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        if (!out) return false;
        out << text;
        out.flush();
        if (!out) {
            out.close();
            std::remove(temp.c_str());
            return false;
        }
    }
    std::error_code ec;
    fs::rename(temp, path, ec);
    if (!ec) return true;
    // The rename's failure decides; removing the temporary file must not clear it.
    std::error_code ecRemove;
    fs::remove(temp, ecRemove);
    return false;
}

// A desktop-entry string value.
std::string DesktopString(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\\') out += '\\';
        out += c;
    }
    return out;
}

// One argument of Exec, quoted as desktop entries want it.
std::string DesktopArgument(const std::string& arg) {
    std::string out = "\"";
    for (char c : arg) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') out += '\\';
        if (c == '%') out += '%';
        out += c;
    }
    return out + "\"";
}

// Arguments split at spaces, double quotes grouping.
std::vector<std::string> SplitArguments(const std::string& text) {
    std::vector<std::string> args;
    std::string current;
    bool fQuoted = false, fAny = false;
    for (char c : text) {
        if (c == '"') {
            fQuoted = !fQuoted;
            fAny = true;
        } else if ((c == ' ' || c == '\t') && !fQuoted) {
            if (fAny) args.push_back(current);
            current.clear();
            fAny = false;
        } else {
            current += c;
            fAny = true;
        }
    }
    if (fAny) args.push_back(current);
    return args;
}

std::string TwinText(const std::string& nativeLink, const SHELLLINK& link) {
    std::string name = fs::path(nativeLink).filename().string();
    if (name.size() > 4 && (name.ends_with(".lnk") || name.ends_with(".LNK")))
        name.resize(name.size() - 4);
    std::string target = NativeFileName(std::u16string_view(link.target));
    if (target.empty()) target = ToUtf8(link.target);
    std::string exec = DesktopArgument(target);
    for (const auto& arg : SplitArguments(ToUtf8(link.arguments)))
        exec += " " + DesktopArgument(arg);
    return "[Desktop Entry]\nType=Application\nName=" + DesktopString(name) +
           "\nComment=" + DesktopString(ToUtf8(link.description)) +
           "\nExec=" + DesktopString(exec) + "\n" + kTwinLinkKey + DesktopString(nativeLink) + "\n";
}

std::string ReadAll(const std::string& path, bool* pOk) {
    std::ifstream in(path, std::ios::binary);
    *pOk = static_cast<bool>(in);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

} // namespace

std::string ShellLinkTwinPath(const WCHAR* pszLinkPath) {
    return TwinPathFor(LinkNativePath(pszLinkPath));
}

BOOL SaveShellLink(const WCHAR* pszLinkPath, const SHELLLINK& link) {
    const std::string native = LinkNativePath(pszLinkPath);
    if (native.empty() || HasLineBreakOrZero(link.target) || HasLineBreakOrZero(link.arguments) ||
        HasLineBreakOrZero(link.description)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::error_code ec;
    if (!fs::is_directory(fs::path(native).parent_path(), ec)) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    const std::string twin = TwinPathFor(native);
    if (twin.empty()) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    const std::string text = std::string(kHeader) + "\nVersion=1\nTarget=" + ToUtf8(link.target) +
                             "\nArguments=" + ToUtf8(link.arguments) +
                             "\nDescription=" + ToUtf8(link.description) +
                             "\nShowCommand=" + std::to_string(link.nShowCommand) + "\n";
    // The twin first: a shortcut never stands without one.
    fs::create_directories(fs::path(twin).parent_path(), ec);
    if (!WriteAtomically(twin, TwinText(native, link))) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (!WriteAtomically(native, text)) {
        fs::remove(twin, ec);
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    return TRUE;
}

BOOL LoadShellLink(const WCHAR* pszLinkPath, SHELLLINK* pLink) {
    const std::string native = LinkNativePath(pszLinkPath);
    if (native.empty() || !pLink) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    bool fOk = false;
    const std::string text = ReadAll(native, &fOk);
    if (!fOk) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    SHELLLINK link;
    link.nShowCommand = 1;
    bool fHeader = false, fVersion = false;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(start, end - start);
        start = end + 1;
        if (!fHeader) {
            if (line != kHeader) break;
            fHeader = true;
            continue;
        }
        const std::size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        const std::string key = line.substr(0, eq), value = line.substr(eq + 1);
        if (key == "Version")
            fVersion = value == "1";
        else if (key == "Target")
            link.target = ToUtf16(value);
        else if (key == "Arguments")
            link.arguments = ToUtf16(value);
        else if (key == "Description")
            link.description = ToUtf16(value);
        else if (key == "ShowCommand") {
            char* pEnd = nullptr;
            const long n = std::strtol(value.c_str(), &pEnd, 10);
            if (!value.empty() && *pEnd == '\0' && n >= 0 && n <= 11)
                link.nShowCommand = static_cast<int>(n);
        }
    }
    if (!fHeader || !fVersion) {
        SetLastError(ERROR_INVALID_DATA);
        return FALSE;
    }
    *pLink = std::move(link);
    return TRUE;
}

BOOL DeleteShellLink(const WCHAR* pszLinkPath) {
    const std::string native = LinkNativePath(pszLinkPath);
    if (native.empty()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    // Through the file service, so read-only and in-use marks hold.
    if (!DeleteFile(pszLinkPath)) {
        std::error_code ec;
        if (!fs::exists(native, ec)) fs::remove(TwinPathFor(native), ec);
        return FALSE;
    }
    std::error_code ec;
    fs::remove(TwinPathFor(native), ec);
    return TRUE;
}

int PruneShellLinkTwins() {
    const std::string folder = ApplicationsFolder();
    if (folder.empty()) return 0;
    int nPruned = 0;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (!name.starts_with(kTwinPrefix) || !name.ends_with(".desktop")) continue;
        bool fOk = false;
        const std::string text = ReadAll(it->path().string(), &fOk);
        const std::size_t at = text.find(std::string("\n") + kTwinLinkKey);
        if (!fOk || at == std::string::npos) continue;
        const std::size_t start = at + 1 + std::string(kTwinLinkKey).size();
        const std::string escaped = text.substr(start, text.find('\n', start) - start);
        std::string link;
        for (std::size_t i = 0; i < escaped.size(); ++i) {
            if (escaped[i] == '\\' && i + 1 < escaped.size()) ++i;
            link += escaped[i];
        }
        std::error_code ec2;
        if (link.empty() || fs::exists(link, ec2) || ec2) continue;
        if (fs::remove(it->path(), ec2)) ++nPruned;
    }
    return nPruned;
}

namespace {

bool IsLinkName(const std::string& native) {
    if (native.size() < 4) return false;
    std::string ext = native.substr(native.size() - 4);
    for (char& c : ext)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext == ".lnk";
}

} // namespace

void ShellLinkDeleted(const std::string& nativeLink) {
    if (!IsLinkName(nativeLink)) return;
    if (const std::string twin = TwinPathFor(nativeLink); !twin.empty()) unlink(twin.c_str());
}

void ShellLinkMoved(const std::string& nativeFrom, const std::string& nativeTo) {
    if (IsLinkName(nativeFrom)) ShellLinkDeleted(nativeFrom);
    if (!IsLinkName(nativeTo)) return;
    // The twin is named after the shortcut's path: the moved shortcut gets a twin of its own.
    const std::u16string to = ToUtf16(nativeTo);
    SHELLLINK link;
    if (LoadShellLink(to.c_str(), &link)) SaveShellLink(to.c_str(), link);
}

} // namespace host
