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
// always give the same archive. The whole command line is checked, and every folder walked,
// before anything is written; files are then streamed into a temporary archive that replaces
// OUTPUT only when complete.
#include "tools/cli/cli.h"
#include "tools/zipwriter/zipwriter.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr const char* kProgram = "zipwriter";

constexpr const char* kHelp =
    "usage: zipwriter [--time=YYYY-MM-DDTHH:MM:SS] OUTPUT.zip ITEM...\n"
    "Writes a ZIP archive of the items, in the order given.\n"
    "\n"
    "Items:\n"
    "  -0            store the files that follow\n"
    "  -1 ... -9     deflate the files that follow at that level (default -9)\n"
    "  NAME=FILE     the file FILE as the entry NAME\n"
    "  NAME/         an empty folder entry\n"
    "  NAME/=FOLDER  a folder entry and everything below FOLDER under it, in name order\n"
    "\n"
    "Options:\n"
    "  --time=T      the time of every entry, default 2000-01-01T00:00:00; years 1980 to\n"
    "                2107; an odd second is stored as the even second before it\n"
    "  -h, --help    show this help\n"
    "\n"
    "Entry names are relative, with '/' between parts: no leading '/', no empty, '.' or\n"
    "'..' parts, no backslashes, colons or control characters, at most 299 bytes, and no\n"
    "name twice (letter case ignored, as readers look names up). Without the 64-bit\n"
    "extension an entry and the archive hold at most 4294967295 bytes each.\n"
    "\n"
    "Exit status: 0 written, 1 failed (OUTPUT is left as it was), 2 bad usage.\n";

// A mistake in the command line: one line and the hint, exit 2.
struct UsageProblem : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct Item {
    std::string strName;
    fs::path path; // empty for a folder entry
    int nLevel;
};

class Plan {
public:
    std::vector<Item> items;
    int nLevel = 9;

    void Folder(const std::string& strName, const std::string& strFrom) {
        Add(strName, {}, strFrom);
    }
    void File(const std::string& strName, const fs::path& path, const std::string& strFrom) {
        Add(strName, path, strFrom);
    }

    // NAME/=FOLDER: the folder's own entry, then its files and folders in name order.
    void Tree(const std::string& strFolder, const fs::path& folder) {
        Folder(strFolder, folder.string());
        std::error_code ec;
        std::vector<fs::path> children;
        for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
            children.push_back(it->path());
        if (ec) throw std::runtime_error(folder.string() + ": cannot list (" + ec.message() + ")");
        std::sort(children.begin(), children.end(),
                  [](const fs::path& a, const fs::path& b) { return a.filename() < b.filename(); });
        for (const fs::path& child : children) {
            std::string strName = strFolder + child.filename().string();
            fs::file_status status = fs::status(child, ec);
            // A link back up the tree would never end.
            if (fs::is_directory(status) && fs::is_symlink(fs::symlink_status(child, ec)))
                throw std::runtime_error(child.string() +
                                         " is a link to a folder; such links are not followed");
            if (fs::is_directory(status))
                Tree(strName + "/", child);
            else if (fs::is_regular_file(status))
                File(strName, child, child.string());
            else
                throw std::runtime_error(child.string() + (fs::exists(status)
                                                               ? " is not a regular file"
                                                               : ": cannot read (a broken link?)"));
        }
    }

private:
    std::map<std::string, std::string> seen_; // folded name -> name

    void Add(const std::string& strName, const fs::path& path, const std::string& strFrom) {
        std::string strProblem = zipwriter::EntryNameProblem(strName);
        if (!strProblem.empty())
            throw UsageProblem("'" + strName + "' (from " + strFrom + "): " + strProblem);
        auto [it, fNew] = seen_.emplace(zipwriter::FoldedName(strName), strName);
        if (!fNew)
            throw UsageProblem(it->second == strName
                                   ? "duplicate entry name '" + strName + "'"
                                   : "duplicate entry name '" + strName + "' (clashes with '" +
                                         it->second + "'; letter case is ignored)");
        items.push_back({strName, path, nLevel});
    }
};

void AddItem(Plan& plan, const std::string& strItem) {
    if (strItem.size() == 2 && strItem[0] == '-' && strItem[1] >= '0' && strItem[1] <= '9') {
        plan.nLevel = strItem[1] - '0';
        return;
    }
    if (strItem.rfind("--", 0) == 0)
        throw UsageProblem("'" + strItem + "': options go before the output archive");
    std::size_t iEquals = strItem.find('=');
    if (iEquals == std::string::npos) {
        if (!strItem.empty() && strItem.front() == '-')
            throw UsageProblem("unknown option '" + strItem + "'");
        if (strItem.empty() || strItem.back() != '/')
            throw UsageProblem("'" + strItem +
                               "' is not an item (NAME=FILE, NAME/ or NAME/=FOLDER)");
        plan.Folder(strItem, "'" + strItem + "'");
        return;
    }
    std::string strName = strItem.substr(0, iEquals);
    fs::path path = strItem.substr(iEquals + 1);
    if (path.empty()) throw UsageProblem("no file or folder after '=' in '" + strItem + "'");
    std::error_code ec;
    fs::file_status status = fs::status(path, ec);
    if (!fs::exists(status)) throw std::runtime_error(path.string() + ": no such file or folder");
    bool fFolder = fs::is_directory(status);
    if (!strName.empty() && strName.back() == '/') {
        if (!fFolder)
            throw UsageProblem(path.string() + " is not a folder; use NAME=FILE to add a file");
        plan.Tree(strName, path);
    } else {
        if (fFolder)
            throw UsageProblem(path.string() + " is a folder; use NAME/=FOLDER to add a folder");
        plan.File(strName, path, "'" + strItem + "'");
    }
}

int Run(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    for (const std::string& str : args) {
        if (str == "--help" || str == "-h") {
            std::fputs(kHelp, stdout);
            return cli::kExitOk;
        }
    }
    zipwriter::DosTime time = zipwriter::MakeDosTime(2000, 1, 1, 0, 0, 0);
    std::size_t iArg = 0;
    for (; iArg < args.size() && args[iArg].rfind("--", 0) == 0; ++iArg) {
        const std::string& str = args[iArg];
        if (str.rfind("--time=", 0) != 0) throw UsageProblem("unknown option '" + str + "'");
        std::optional<zipwriter::DosTime> parsed = zipwriter::ParseDosTime(str.substr(7));
        if (!parsed)
            throw UsageProblem("invalid --time '" + str.substr(7) +
                               "' (want YYYY-MM-DDTHH:MM:SS, a real date from 1980 to 2107)");
        time = *parsed;
    }
    if (iArg >= args.size()) throw UsageProblem("no output archive given");
    const std::string& strOutput = args[iArg++];
    std::error_code ec;
    if (fs::is_directory(strOutput, ec))
        throw UsageProblem("the output " + strOutput + " is a folder");

    Plan plan;
    for (; iArg < args.size(); ++iArg)
        AddItem(plan, args[iArg]);

    zipwriter::ZipWriter writer(strOutput);
    writer.SetTime(time);
    for (const Item& item : plan.items) {
        if (item.path.empty())
            writer.AddFolder(item.strName);
        else
            writer.AddFile(item.strName, item.path, item.nLevel);
    }
    writer.Commit();
    return cli::kExitOk;
}

} // namespace

int main(int argc, char** argv) {
    try {
        return Run(argc, argv);
    } catch (const UsageProblem& e) {
        return cli::UsageError(kProgram, e.what());
    } catch (const std::exception& e) {
        return cli::Failure(kProgram, e.what());
    } catch (...) {
        return cli::Failure(kProgram, "unexpected failure");
    }
}
