// zipwriter: builds a ZIP archive from files and folders.
//
//     zipwriter [--time=YYYY-MM-DDTHH:MM:SS] OUTPUT.zip ITEM...
//
// Items, in the order they go into the archive:
//     -0            following files are stored
//     -1 ... -9     following files are deflated at that level (the default is -9)
//     NAME=FILE     the file under the entry name NAME
//     NAME/         a folder entry
//     NAME/=FOLDER  a folder entry and everything below FOLDER under it, in name order
//
// Every entry carries the same time (2000-01-01 00:00:00 by default), so the same inputs
// always give the same archive.
#include "tools/zipwriter/zipwriter.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

int Usage() {
    std::fprintf(stderr,
                 "usage: zipwriter [--time=YYYY-MM-DDTHH:MM:SS] OUTPUT.zip ITEM...\n"
                 "items: -0 (store) | -1..-9 (deflate level) | NAME=FILE | NAME/ | NAME/=FOLDER\n");
    return 2;
}

std::vector<std::uint8_t> ReadWhole(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) throw std::runtime_error("cannot read " + path.string());
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(file), {});
}

struct Adder {
    zipwriter::ZipWriter& writer;
    int nLevel = 9;

    void File(const std::string& strName, const fs::path& path) {
        std::vector<std::uint8_t> data = ReadWhole(path);
        if (nLevel == 0)
            writer.AddStored(strName, data);
        else
            writer.AddDeflated(strName, data, nLevel);
    }

    void Tree(const std::string& strFolder, const fs::path& path) {
        writer.AddFolder(strFolder);
        std::vector<fs::directory_entry> entries(fs::directory_iterator(path), {});
        std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
            return a.path().filename() < b.path().filename();
        });
        for (const fs::directory_entry& entry : entries) {
            std::string strName = strFolder + entry.path().filename().string();
            if (entry.is_directory())
                Tree(strName + "/", entry.path());
            else
                File(strName, entry.path());
        }
    }
};

} // namespace

int main(int argc, char** argv) {
    int iArg = 1;
    zipwriter::ZipWriter writer;
    try {
        if (iArg < argc && std::string(argv[iArg]).rfind("--time=", 0) == 0) {
            int nYear, nMonth, nDay, nHour, nMinute, nSecond;
            if (std::sscanf(argv[iArg] + 7, "%d-%d-%dT%d:%d:%d", &nYear, &nMonth, &nDay, &nHour,
                            &nMinute, &nSecond) != 6)
                return Usage();
            writer.SetTime(zipwriter::MakeDosTime(nYear, nMonth, nDay, nHour, nMinute, nSecond));
            ++iArg;
        }
        if (iArg >= argc) return Usage();
        std::string strOutput = argv[iArg++];
        Adder adder{writer};
        for (; iArg < argc; ++iArg) {
            std::string strItem = argv[iArg];
            if (strItem.size() == 2 && strItem[0] == '-' && strItem[1] >= '0' &&
                strItem[1] <= '9') {
                adder.nLevel = strItem[1] - '0';
                continue;
            }
            std::size_t iEquals = strItem.find('=');
            if (iEquals == std::string::npos) {
                if (strItem.empty() || strItem.back() != '/') return Usage();
                writer.AddFolder(strItem);
                continue;
            }
            std::string strName = strItem.substr(0, iEquals);
            fs::path path = strItem.substr(iEquals + 1);
            if (strName.empty()) return Usage();
            if (strName.back() == '/')
                adder.Tree(strName, path);
            else
                adder.File(strName, path);
        }
        writer.WriteFile(strOutput);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "zipwriter: %s\n", e.what());
        return 1;
    }
    return 0;
}
