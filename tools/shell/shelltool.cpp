#include "tools/shell/shelltool.h"

#include "host/codepage.h"
#include "host/error.h"
#include "host/file.h"
#include "host/registry.h"
#include "host/shell.h"
#include "tools/cli/cli.h"

#include <exception>
#include <ostream>

namespace shelltool {
namespace {

using namespace host;

constexpr const char* kUninstallKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

struct UsageError {
    std::string message;
};
struct Refused {
    std::string message;
};

void ExpectArgs(const std::vector<std::string>& args, std::size_t n, const char* pszUsage) {
    if (args.size() != n) throw UsageError{std::string("usage: kelvano-shell ") + pszUsage};
}

// A text value of a product's key; nothing when it is missing or not text.
bool ReadText(HKEY hKey, const char* pszValue, std::string* pText) {
    DWORD dwType = 0, cb = 0;
    if (RegQueryValueExA(hKey, pszValue, nullptr, &dwType, nullptr, &cb) != ERROR_SUCCESS ||
        (dwType != REG_SZ && dwType != REG_EXPAND_SZ))
        return false;
    std::string data(cb, '\0');
    if (RegQueryValueExA(hKey, pszValue, nullptr, &dwType, reinterpret_cast<BYTE*>(data.data()),
                         &cb) != ERROR_SUCCESS)
        return false;
    data.resize(cb);
    while (!data.empty() && data.back() == '\0')
        data.pop_back();
    *pText = std::move(data);
    return true;
}

// Prints "KEY<tab>DisplayName" for each product that has a display name.
void List(std::ostream& out) {
    HKEY hUninstall = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kUninstallKey, 0, KEY_READ, &hUninstall) != ERROR_SUCCESS)
        return;
    for (DWORD i = 0;; ++i) {
        char name[256];
        DWORD cch = sizeof(name);
        LONG e = RegEnumKeyExA(hUninstall, i, name, &cch, nullptr, nullptr, nullptr, nullptr);
        if (e == ERROR_NO_MORE_ITEMS) break;
        if (e != ERROR_SUCCESS) continue;
        HKEY hProduct = nullptr;
        if (RegOpenKeyExA(hUninstall, name, 0, KEY_READ, &hProduct) != ERROR_SUCCESS) continue;
        std::string display;
        if (ReadText(hProduct, "DisplayName", &display))
            out << std::string(name, cch) << '\t' << display << '\n';
        RegCloseKey(hProduct);
    }
    RegCloseKey(hUninstall);
}

void Uninstall(const std::string& product) {
    if (product.empty() || product.find('\\') != std::string::npos)
        throw UsageError{"\"" + product + "\" is not a product's name"};
    HKEY hProduct = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, (std::string(kUninstallKey) + "\\" + product).c_str(), 0,
                      KEY_READ, &hProduct) != ERROR_SUCCESS)
        throw Refused{product + ": no such product (see kelvano-shell list)"};
    std::string command;
    const bool fFound = ReadText(hProduct, "UninstallString", &command);
    RegCloseKey(hProduct);
    if (!fFound) throw Refused{product + ": has no UninstallString"};
    if (!RunDllCommand(command)) {
        const DWORD e = GetLastError();
        throw Refused{product + ": cannot run \"" + command + "\": " +
                      (e == ERROR_INVALID_PARAMETER ? "not a rundll32 command line"
                       : e == ERROR_MOD_NOT_FOUND   ? "the library does not load"
                       : e == ERROR_PROC_NOT_FOUND  ? "the library has no such entry"
                                                    : "error " + std::to_string(e))};
    }
    // A removal run by another program may have taken shortcuts without their twins.
    PruneShellLinkTwins();
}

int RunCommand(const std::vector<std::string>& args, std::ostream& out) {
    if (args.empty()) throw UsageError{"no command"};
    const std::string& command = args[0];
    if (command == "--help" || command == "-h") {
        out << Usage();
        return cli::kExitOk;
    }
    SeedShellFolders();
    if (command == "list") {
        ExpectArgs(args, 1, "list");
        List(out);
    } else if (command == "uninstall") {
        ExpectArgs(args, 2, "uninstall PRODUCT");
        Uninstall(args[1]);
    } else if (command == "pending") {
        ExpectArgs(args, 1, "pending");
        out << CarryOutPendingFileOperations() << " carried out\n";
    } else {
        throw UsageError{"unknown command \"" + command + "\""};
    }
    return cli::kExitOk;
}

} // namespace

std::string Usage() {
    return R"(usage: kelvano-shell COMMAND [ARGUMENTS]

  list                 the installed products: the key name, a tab, the display name
  uninstall PRODUCT    remove a product: runs its "UninstallString" (a line
                       rundll32 "LIBRARY",Entry ARGUMENTS) in this process
  pending              carry out the file operations left for the next start

Products are the keys under HKLM "Software\Microsoft\Windows\CurrentVersion\Uninstall" that
have a "DisplayName". The registry folder is $KELVANO_REGISTRY_DIR (see kelvano-reg), the
drive C: folder $KELVANO_DRIVE_DIR, libraries named bare are looked for beside this program and
in $KELVANO_LIBRARY_PATH, shortcuts' desktop entries live in $KELVANO_APPLICATIONS_DIR.

Exit status: 0 done, 1 failed (no such product, its command cannot run), 2 bad arguments.
)";
}

int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    try {
        return RunCommand(args, out);
    } catch (const UsageError& e) {
        err << "kelvano-shell: " << e.message
            << "\nTry 'kelvano-shell --help' for more information.\n";
        return cli::kExitUsage;
    } catch (const Refused& e) {
        err << "kelvano-shell: " << e.message << "\n";
        return cli::kExitFailed;
    } catch (const std::exception& e) {
        err << "kelvano-shell: " << e.what() << "\n";
        return cli::kExitFailed;
    }
}

} // namespace shelltool
