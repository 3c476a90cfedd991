// kelvano-rc [-I dir]... [-D NAME[=value]]... [-l language] -o table.bin
//            [--embed source.cpp] [--depfile file.d] script.rc
#include "tools/cli/cli.h"
#include "tools/rc/rc.h"

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

constexpr const char* kProgram = "kelvano-rc";

constexpr const char* kUsage =
    "usage: kelvano-rc [-I dir]... [-D NAME[=value]]... [-l language] -o table.bin\n"
    "                  [--embed source.cpp] [--depfile file.d] script.rc\n"
    "Compiles a resource script into the resource table that programs embed.\n"
    "  -o table.bin        the table to write (required)\n"
    "  -I dir, -Idir       a folder searched for #include files and resource files after\n"
    "                      the folder of the file that names them; may be repeated\n"
    "  -D NAME[=value]     defines the macro NAME as value (default 1); also -DNAME[=value]\n"
    "  -l language         the language id of resources before the first LANGUAGE statement,\n"
    "                      0 to 65535, decimal or 0x hexadecimal (default 0x0409, 1033)\n"
    "  --embed source.cpp  also writes the C++ source that embeds the table into a module\n"
    "  --depfile file.d    also writes a make-style list of every file the script read\n"
    "  -h, --help          prints this help\n"
    "Errors in the script read \"file:line: error: text\". Exit status: 0 compiled, 1 the\n"
    "script failed to compile or a file could not be read or written, 2 bad usage.\n"
    "The script language is described in tools/rc/README.md.\n";

bool IsMacroName(const std::string& s) {
    if (s.empty() || std::isdigit(static_cast<unsigned char>(s[0]))) return false;
    for (char c : s)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_') return false;
    return true;
}

// Writes through a temporary file so that a failed run never leaves half a file behind.
bool WriteFile(const std::string& path, const void* data, std::size_t size) {
    std::string tmp = path + ".tmp";
    std::error_code ec;
    {
        std::ofstream f(tmp, std::ios::binary | std::ios::trunc);
        f.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
        if (!f.flush()) {
            f.close();
            std::filesystem::remove(tmp, ec);
            cli::Failure(kProgram, "cannot write " + tmp);
            return false;
        }
    }
    std::filesystem::rename(tmp, path, ec);
    if (ec) {
        cli::Failure(kProgram, "cannot write " + path + ": " + ec.message());
        std::filesystem::remove(tmp, ec);
        return false;
    }
    return true;
}

int Run(int argc, char** argv) {
    rc::Options options;
    std::string out, embed, depfile, script;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            return cli::kExitOk;
        }
        std::string v;
        auto value = [&](std::string* p) {
            if (i + 1 >= argc) return false;
            *p = argv[++i];
            return true;
        };
        if (a == "-o" || a == "--embed" || a == "--depfile" || a == "-I" || a == "-D" ||
            a == "-l") {
            if (!value(&v)) return cli::UsageError(kProgram, a + " needs a value");
        } else if (a.size() > 2 && (a.rfind("-I", 0) == 0 || a.rfind("-D", 0) == 0)) {
            v = a.substr(2);
            a.resize(2);
        } else if (a.size() > 1 && a[0] == '-') {
            return cli::UsageError(kProgram, "unknown option '" + a + "'");
        } else {
            if (!script.empty())
                return cli::UsageError(kProgram, "more than one script given ('" + script +
                                                     "' and '" + a + "')");
            script = a;
            continue;
        }
        if (a == "-o") {
            out = v;
        } else if (a == "--embed") {
            embed = v;
        } else if (a == "--depfile") {
            depfile = v;
        } else if (a == "-I") {
            options.includeDirs.push_back(v);
        } else if (a == "-D") {
            std::size_t eq = v.find('=');
            if (!IsMacroName(v.substr(0, eq)))
                return cli::UsageError(kProgram, "-D needs NAME[=value], not '" + v + "'");
            options.defines.emplace_back(v.substr(0, eq),
                                         eq == std::string::npos ? "1" : v.substr(eq + 1));
        } else { // -l
            auto lang = cli::ParseInteger(v, 0, 0xFFFF, true);
            if (!lang)
                return cli::UsageError(kProgram, "-l needs a language id from 0 to 65535 "
                                                 "(decimal or 0x hexadecimal), not '" +
                                                     v + "'");
            options.defaultLanguage = static_cast<std::uint16_t>(*lang);
        }
    }
    if (script.empty()) return cli::UsageError(kProgram, "no script given");
    if (out.empty()) return cli::UsageError(kProgram, "no table to write given (-o table.bin)");

    std::vector<std::uint8_t> bytes;
    std::string error;
    if (!cli::ReadWholeFile(script, &bytes, &error)) return cli::Failure(kProgram, error);
    rc::Result result;
    if (!rc::CompileText(script, std::string(bytes.begin(), bytes.end()), options, &result)) {
        std::fprintf(stderr, "%s\n", result.error.c_str());
        return cli::kExitFailed;
    }
    if (!WriteFile(out, result.table.data(), result.table.size())) return cli::kExitFailed;
    if (!embed.empty()) {
        std::string abs = std::filesystem::absolute(out).lexically_normal().string();
        std::string src =
            rc::EmbedSource(abs, result.table, std::filesystem::path(script).filename().string());
        if (!WriteFile(embed, src.data(), src.size())) return cli::kExitFailed;
    }
    if (!depfile.empty()) {
        std::vector<std::string> deps;
        for (const auto& d : result.dependencies)
            deps.push_back(std::filesystem::absolute(d).lexically_normal().string());
        std::string d =
            rc::DepFile(std::filesystem::absolute(out).lexically_normal().string(), deps);
        if (!WriteFile(depfile, d.data(), d.size())) return cli::kExitFailed;
    }
    return cli::kExitOk;
}

} // namespace

int main(int argc, char** argv) {
    return cli::Guarded(kProgram, [&] { return Run(argc, argv); });
}
