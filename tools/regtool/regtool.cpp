#include "tools/regtool/regtool.h"

#include "host/codepage.h"
#include "host/registry.h"
#include "host/registry_file.h"
#include "tools/cli/cli.h"

#include <charconv>
#include <exception>
#include <filesystem>
#include <iostream>
#include <iterator>
#include <optional>

namespace regtool {
namespace {

using namespace host;

// Thrown for bad arguments: the message and exit status 2.
struct UsageError {
    std::string message;
};

// The registry refused: the message and exit status 1.
struct Refused {
    std::string message;
};

std::string ErrorText(LONG e) {
    switch (e) {
    case ERROR_FILE_NOT_FOUND:
        return "not found";
    case ERROR_ACCESS_DENIED:
        return "access denied";
    case ERROR_KEY_DELETED:
        return "the key was deleted meanwhile";
    case ERROR_KEY_HAS_CHILDREN:
        return "the key has sub-keys";
    case ERROR_BAD_PATHNAME:
        return "a key path with an empty name";
    case ERROR_INVALID_PARAMETER:
        return "a name too long or a path too deep";
    case ERROR_PATH_NOT_FOUND:
        return "no registry folder (set KELVANO_REGISTRY_DIR or HOME)";
    case ERROR_DISK_FULL:
        return "the disk is full";
    case ERROR_REGISTRY_CORRUPT:
        return "the registry file is damaged";
    case ERROR_REGISTRY_IO_FAILED:
        return "the registry file cannot be read or written";
    default:
        return "error " + std::to_string(e);
    }
}

void Check(LONG e, const std::string& what) {
    if (e != ERROR_SUCCESS) throw Refused{what + ": " + ErrorText(e)};
}

struct KeyArg {
    std::string text; // as given, for messages
    HKEY root;
    std::u16string sub;
};

// Text that does not survive the trip to UTF-16 would be stored as U+FFFD.
std::u16string Utf16Arg(const std::string& text, const char* what) {
    std::u16string units = ToUtf16(text);
    if (ToUtf8(units) != text) throw UsageError{std::string(what) + " is not valid UTF-8"};
    return units;
}

KeyArg ParseKey(const std::string& text) {
    KeyArg key{text, nullptr, u""};
    Utf16Arg(text, "the key");
    std::string sub;
    if (!RegSplitKeyPath(text, key.root, sub))
        throw UsageError{"\"" + text + "\" does not start with a root (HKCU, HKLM or HKCR)"};
    key.sub = ToUtf16(sub);
    return key;
}

// Closes a key handle on scope exit.
class Key {
public:
    Key() = default;
    ~Key() {
        if (h_ != nullptr) RegCloseKey(h_);
    }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    HKEY* operator&() { return &h_; }
    operator HKEY() const { return h_; }

private:
    HKEY h_ = nullptr;
};

std::vector<BYTE> TextBytes(const std::u16string& text) {
    std::vector<BYTE> data;
    for (char16_t u : text) {
        data.push_back(static_cast<BYTE>(u & 0xFF));
        data.push_back(static_cast<BYTE>(u >> 8));
    }
    data.push_back(0);
    data.push_back(0);
    return data;
}

DWORD ParseNumber(const std::string& text, const char* what) {
    std::string_view digits = text;
    int base = 10;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
        digits.remove_prefix(2);
        base = 16;
    }
    DWORD n = 0;
    auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), n, base);
    if (digits.empty() || ec != std::errc() || end != digits.data() + digits.size())
        throw UsageError{"\"" + text + "\" is not " + what};
    return n;
}

std::vector<BYTE> ParseHex(const std::string& text) {
    std::vector<BYTE> data;
    auto digit = [](char c) {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    for (std::size_t i = 0; i < text.size();) {
        if (text[i] == ' ' || text[i] == ',' || text[i] == '\t') {
            ++i;
            continue;
        }
        int hi = digit(text[i]);
        int lo = i + 1 < text.size() ? digit(text[i + 1]) : -1;
        if (hi < 0 || lo < 0)
            throw UsageError{"\"" + text + "\" is not bytes in hexadecimal (two digits each)"};
        data.push_back(static_cast<BYTE>(hi * 16 + lo));
        i += 2;
    }
    return data;
}

void NeedCount(const std::vector<std::string>& args, std::size_t min, std::size_t max) {
    if (args.size() < min || args.size() > max)
        throw UsageError{"wrong number of arguments for " + args[0]};
}

std::string QuotedName(const std::string& name) {
    return "\"" + name + "\"";
}

void Query(const std::vector<std::string>& args, std::ostream& out) {
    NeedCount(args, 2, 3);
    KeyArg arg = ParseKey(args[1]);
    Key key;
    Check(RegOpenKeyExW(arg.root, arg.sub.c_str(), 0, KEY_READ, &key), arg.text);
    if (args.size() == 3) {
        // Found by enumeration, so that the name shows as it is stored.
        std::u16string wanted = ToUtf16(args[2]);
        DWORD cchMax = 0, cbMax = 0;
        Check(RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                               &cchMax, &cbMax, nullptr, nullptr),
              arg.text);
        std::u16string name(cchMax + 1, u'\0');
        std::vector<BYTE> data(cbMax);
        for (DWORD i = 0;; ++i) {
            DWORD cch = cchMax + 1, cb = cbMax, type = 0;
            LONG e = RegEnumValueW(key, i, name.data(), &cch, nullptr, &type, data.data(), &cb);
            if (e == ERROR_NO_MORE_ITEMS) e = ERROR_FILE_NOT_FOUND;
            Check(e, arg.text + " " + QuotedName(args[2]));
            if (regfile::SameName(std::u16string_view(name).substr(0, cch), wanted)) {
                out << regfile::FormatValue(
                           {name.substr(0, cch), type, {data.begin(), data.begin() + cb}})
                    << "\n";
                return;
            }
        }
    }
    // The key's own section of an export: its header and values, then its sub-keys' names.
    std::string text;
    Check(RegExportKey(key, text), arg.text);
    std::size_t start = text.find('[');
    std::size_t end = text.find("\n\n", start);
    out << text.substr(start, end - start + 1);
    DWORD cSubKeys = 0, cchMax = 0;
    Check(RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &cSubKeys, &cchMax, nullptr, nullptr,
                           nullptr, nullptr, nullptr, nullptr),
          arg.text);
    std::u16string name(cchMax + 1, u'\0');
    for (DWORD i = 0;; ++i) {
        DWORD cch = cchMax + 1;
        LONG e = RegEnumKeyExW(key, i, name.data(), &cch, nullptr, nullptr, nullptr, nullptr);
        if (e == ERROR_NO_MORE_ITEMS) break;
        Check(e, arg.text);
        out << ToUtf8(name.substr(0, cch)) << "\\\n";
    }
}

void Set(const std::vector<std::string>& args) {
    if (args.size() < 4 || (args[3] != "multi" && args.size() != 5))
        throw UsageError{"wrong number of arguments for set"};
    KeyArg arg = ParseKey(args[1]);
    std::u16string name = Utf16Arg(args[2], "the value name");
    const std::string& kind = args[3];
    DWORD type;
    std::vector<BYTE> data;
    if (kind == "sz" || kind == "expand") {
        type = kind == "sz" ? REG_SZ : REG_EXPAND_SZ;
        data = TextBytes(Utf16Arg(args[4], "the text"));
    } else if (kind == "multi") {
        type = REG_MULTI_SZ;
        for (std::size_t i = 4; i < args.size(); ++i) {
            std::vector<BYTE> text = TextBytes(Utf16Arg(args[i], "the text"));
            data.insert(data.end(), text.begin(), text.end());
        }
        data.push_back(0);
        data.push_back(0);
    } else if (kind == "dword") {
        type = REG_DWORD;
        DWORD n = ParseNumber(args[4], "a 32-bit number");
        data = {BYTE(n), BYTE(n >> 8), BYTE(n >> 16), BYTE(n >> 24)};
    } else if (kind == "hex") {
        type = REG_BINARY;
        data = ParseHex(args[4]);
    } else if (kind.size() > 5 && kind.compare(0, 4, "hex(") == 0 && kind.back() == ')') {
        std::string number = kind.substr(4, kind.size() - 5);
        if (number.find_first_not_of("0123456789") != std::string::npos)
            throw UsageError{"\"" + kind + "\" needs a decimal type number"};
        type = ParseNumber(number, "a type number");
        data = ParseHex(args[4]);
    } else {
        throw UsageError{"unknown type \"" + kind + "\" (sz, expand, multi, dword, hex, hex(N))"};
    }
    if (name.size() > regfile::kMaxValueNameLength)
        throw UsageError{"value name longer than 16383 characters"};
    Key key;
    Check(RegCreateKeyExW(arg.root, arg.sub.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                          nullptr),
          arg.text);
    Check(RegSetValueExW(key, name.c_str(), 0, type, data.data(), static_cast<DWORD>(data.size())),
          arg.text + " " + QuotedName(args[2]));
}

// Deletes the key `name` under `parent` with everything below it.
LONG DeleteTree(HKEY parent, const std::u16string& name) {
    {
        Key key;
        if (LONG e = RegOpenKeyExW(parent, name.c_str(), 0, KEY_ALL_ACCESS, &key); e != 0) return e;
        WCHAR sub[regfile::kMaxKeyNameLength + 1];
        for (;;) {
            DWORD cch = regfile::kMaxKeyNameLength + 1;
            LONG e = RegEnumKeyExW(key, 0, sub, &cch, nullptr, nullptr, nullptr, nullptr);
            if (e == ERROR_NO_MORE_ITEMS) break;
            if (e == ERROR_SUCCESS) e = DeleteTree(key, std::u16string(sub, cch));
            if (e != ERROR_SUCCESS) return e;
        }
    }
    return RegDeleteKeyW(parent, name.c_str());
}

void Delete(const std::vector<std::string>& args) {
    NeedCount(args, 2, 3);
    KeyArg arg = ParseKey(args[1]);
    if (args.size() == 3) {
        Key key;
        Check(RegOpenKeyExW(arg.root, arg.sub.c_str(), 0, KEY_ALL_ACCESS, &key), arg.text);
        Check(RegDeleteValueW(key, ToUtf16(args[2]).c_str()), arg.text + " " + QuotedName(args[2]));
        return;
    }
    if (arg.sub.empty() || arg.sub == u"\\") throw UsageError{"a root cannot be deleted"};
    Check(DeleteTree(arg.root, arg.sub), arg.text);
}

void Export(const std::vector<std::string>& args, std::ostream& out) {
    NeedCount(args, 2, 2);
    KeyArg arg = ParseKey(args[1]);
    Key key;
    Check(RegOpenKeyExW(arg.root, arg.sub.c_str(), 0, KEY_READ, &key), arg.text);
    std::string text;
    Check(RegExportKey(key, text), arg.text);
    out << text;
}

void Import(const std::vector<std::string>& args, std::istream& in) {
    NeedCount(args, 2, 2);
    const std::string source = args[1] == "-" ? "standard input" : args[1];
    std::string text;
    if (args[1] == "-") {
        text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        if (in.bad()) throw Refused{source + ": read failed"};
    } else {
        std::vector<std::uint8_t> bytes;
        std::string error;
        if (!cli::ReadWholeFile(args[1], &bytes, &error)) throw Refused{error};
        text.assign(bytes.begin(), bytes.end());
    }
    if (text.empty()) throw Refused{source + ": is empty"};
    std::string message;
    LONG e = RegImportText(text, message);
    if (e != ERROR_SUCCESS)
        throw Refused{source + ": " + (message.empty() ? ErrorText(e) : message)};
}

} // namespace

std::string Usage() {
    return R"(usage: kelvano-reg [--dir FOLDER] COMMAND ARGUMENTS

  query KEY [VALUE]        show a key (its values, then its sub-keys' names) or one value
  set KEY VALUE TYPE DATA  set a value, creating the key when needed
  delete KEY [VALUE]       delete one value, or a key with everything below it
  export KEY               print the key and everything below it as registry text
  import FILE              apply registry text from FILE ("-" reads standard input)

KEY is a root and a path, such as "HKCU\Software\Vantor\Kelvano CE"; the roots are
HKEY_CURRENT_USER (HKCU), HKEY_LOCAL_MACHINE (HKLM) and HKEY_CLASSES_ROOT (HKCR).
VALUE "" is the key's default value. TYPE and DATA:
  sz TEXT, expand TEXT     text (kept as UTF-16 with its terminator)
  multi [TEXT...]          a list of texts
  dword NUMBER             a 32-bit number, decimal or hexadecimal with 0x
  hex BYTES                bytes in hexadecimal, such as "01 02 ff" (REG_BINARY)
  hex(N) BYTES             bytes of any type number N (decimal)

The registry folder is $KELVANO_REGISTRY_DIR, else $XDG_DATA_HOME/kelvano/registry, else
~/.local/share/kelvano/registry; --dir FOLDER uses FOLDER instead.

A damaged registry file is left as it is by query and export, which report it and fail;
set, delete and import rename it to NAME.damaged-YYYYMMDD-HHMMSS, say so, and start that
root afresh. A file written by another version of the registry is never changed.

Exit status: 0 done, 1 failed (not found, damaged file, unreadable file, text that cannot be
imported), 2 bad arguments.
)";
}

namespace {

// Reads quietly what the user's files hold; only the commands that change a root may set a
// damaged file aside.
bool ChangesTheRegistry(const std::string& command) {
    return command == "set" || command == "delete" || command == "import";
}

std::string DamageText(const RegDamage& damage) {
    std::string text = damage.file +
                       (damage.fUnknownVersion ? " was written by another version of the registry ("
                                               : " is damaged (") +
                       damage.message + ")";
    if (damage.aside.empty()) return text + "; it was left as it is";
    return text + "; it was renamed to " + damage.aside + " and its root starts empty";
}

// Puts the damage policy back when the command ends.
class PolicyScope {
public:
    explicit PolicyScope(RegDamagePolicy policy)
        : previous_(RegSetDamagePolicy(std::move(policy))) {}
    ~PolicyScope() { RegSetDamagePolicy(std::move(previous_)); }
    PolicyScope(const PolicyScope&) = delete;
    PolicyScope& operator=(const PolicyScope&) = delete;

private:
    RegDamagePolicy previous_;
};

int RunCommand(std::vector<std::string> args, std::istream& in, std::ostream& out,
               std::ostream& err) {
    // Options come before the command.
    while (!args.empty() && args[0].size() > 1 && args[0][0] == '-') {
        const std::string option = args[0];
        if (option == "--help" || option == "-h") {
            out << Usage();
            return cli::kExitOk;
        }
        if (option != "--dir") throw UsageError{"unknown option \"" + option + "\""};
        if (args.size() < 2) throw UsageError{"--dir needs a folder"};
        if (args[1].empty()) throw UsageError{"--dir needs a folder, not an empty text"};
        std::error_code ec;
        if (std::filesystem::exists(args[1], ec) && !std::filesystem::is_directory(args[1], ec))
            throw Refused{args[1] + ": is not a folder"};
        RegSetStorageFolder(args[1]);
        args.erase(args.begin(), args.begin() + 2);
    }
    if (args.empty()) throw UsageError{"no command"};
    const std::string& command = args[0];

    std::optional<RegDamage> kept; // a damaged file left in place: the reason for the failure
    PolicyScope policy({ChangesTheRegistry(command), [&](const RegDamage& damage) {
                            if (damage.aside.empty())
                                kept = damage;
                            else
                                err << "kelvano-reg: " << DamageText(damage) << "\n";
                        }});
    try {
        if (command == "query")
            Query(args, out);
        else if (command == "set")
            Set(args);
        else if (command == "delete")
            Delete(args);
        else if (command == "export")
            Export(args, out);
        else if (command == "import")
            Import(args, in);
        else
            throw UsageError{"unknown command \"" + command + "\""};
    } catch (const Refused&) {
        if (!kept) throw;
        throw Refused{DamageText(*kept)};
    }
    return cli::kExitOk;
}

} // namespace

int Run(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
        std::ostream& err) {
    try {
        return RunCommand(args, in, out, err);
    } catch (const UsageError& e) {
        err << "kelvano-reg: " << e.message << "\nTry 'kelvano-reg --help' for more information.\n";
        return cli::kExitUsage;
    } catch (const Refused& e) {
        err << "kelvano-reg: " << e.message << "\n";
        return cli::kExitFailed;
    } catch (const std::exception& e) {
        err << "kelvano-reg: " << e.what() << "\n";
        return cli::kExitFailed;
    }
}

} // namespace regtool
