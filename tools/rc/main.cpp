// kelvano-rc [-I dir]... [-D NAME[=value]]... [-l language] -o table.bin
//            [--embed source.cpp] [--depfile file.d] script.rc
#include "tools/rc/rc.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

int Usage() {
    std::fprintf(stderr,
                 "usage: kelvano-rc [-I dir]... [-D NAME[=value]]... [-l language] -o table.bin\n"
                 "                  [--embed source.cpp] [--depfile file.d] script.rc\n");
    return 2;
}

// Writes through a temporary file so that a failed run never leaves half a file behind.
bool WriteFile(const std::string& path, const void* data, std::size_t size) {
    std::string tmp = path + ".tmp";
    {
        std::ofstream f(tmp, std::ios::binary | std::ios::trunc);
        f.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
        if (!f.flush()) {
            std::fprintf(stderr, "kelvano-rc: cannot write %s\n", tmp.c_str());
            return false;
        }
    }
    std::error_code ec;
    std::filesystem::rename(tmp, path, ec);
    if (ec) {
        std::fprintf(stderr, "kelvano-rc: cannot write %s: %s\n", path.c_str(),
                     ec.message().c_str());
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    rc::Options options;
    std::string out, embed, depfile, script;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&](std::string* v) {
            if (i + 1 >= argc) return false;
            *v = argv[++i];
            return true;
        };
        std::string v;
        if (a == "-o") {
            if (!value(&out)) return Usage();
        } else if (a == "--embed") {
            if (!value(&embed)) return Usage();
        } else if (a == "--depfile") {
            if (!value(&depfile)) return Usage();
        } else if (a == "-I") {
            if (!value(&v)) return Usage();
            options.includeDirs.push_back(v);
        } else if (a.rfind("-I", 0) == 0) {
            options.includeDirs.push_back(a.substr(2));
        } else if (a == "-D" || a.rfind("-D", 0) == 0) {
            if (a == "-D" ? !value(&v) : (v = a.substr(2), false)) return Usage();
            std::size_t eq = v.find('=');
            options.defines.emplace_back(v.substr(0, eq),
                                         eq == std::string::npos ? "1" : v.substr(eq + 1));
        } else if (a == "-l") {
            if (!value(&v)) return Usage();
            char* end = nullptr;
            unsigned long lang = std::strtoul(v.c_str(), &end, 0);
            if (!end || *end || lang > 0xFFFF) return Usage();
            options.defaultLanguage = static_cast<std::uint16_t>(lang);
        } else if (!a.empty() && a[0] == '-') {
            return Usage();
        } else if (script.empty()) {
            script = a;
        } else {
            return Usage();
        }
    }
    if (script.empty() || out.empty()) return Usage();

    rc::Result result;
    if (!rc::Compile(script, options, &result)) {
        std::fprintf(stderr, "%s\n", result.error.c_str());
        return 1;
    }
    if (!WriteFile(out, result.table.data(), result.table.size())) return 1;
    if (!embed.empty()) {
        std::string abs = std::filesystem::absolute(out).lexically_normal().string();
        std::string src =
            rc::EmbedSource(abs, result.table, std::filesystem::path(script).filename().string());
        if (!WriteFile(embed, src.data(), src.size())) return 1;
    }
    if (!depfile.empty()) {
        std::vector<std::string> deps;
        for (const auto& d : result.dependencies)
            deps.push_back(std::filesystem::absolute(d).lexically_normal().string());
        std::string d =
            rc::DepFile(std::filesystem::absolute(out).lexically_normal().string(), deps);
        if (!WriteFile(depfile, d.data(), d.size())) return 1;
    }
    return 0;
}
