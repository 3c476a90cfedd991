// Path walks over "\"-separated folder paths and archive entry names.
#include "setup/sl_internal.h"

namespace sl {

namespace {

bool IsSeparator(char ch) {
    return ch == '\\' || ch == '/';
}

} // namespace

mem::vector<string> FolderPrefixes(const string& strPath, bool fIncludeSelf) {
    mem::vector<string> prefixes{MEM_TAG("FolderPrefixes")};
    const char* pch = strPath.Text();
    int cch = strPath.Length();
    // A prefix that is empty, ends in "\" (a doubled separator) or is a drive names no
    // folder of its own to create or remove.
    auto fFolder = [pch](int cchPrefix) {
        return cchPrefix > 0 && pch[cchPrefix - 1] != '\\' && pch[cchPrefix - 1] != ':';
    };
    for (int i = 0; i < cch; ++i) {
        if (pch[i] == '\\' && fFolder(i)) prefixes.push_back(strPath.Substring(0, i));
    }
    if (fIncludeSelf && fFolder(cch)) prefixes.push_back(strPath);
    return prefixes;
}

string NormaliseEntryName(const string& strName) {
    string str(strName);
    str.Replace("\\", "/");
    if (str.GetAt(0) == '/') str = str.Substring(1);
    return str;
}

bool IsSafeRelativeName(const string& strName) {
    const char* pch = strName.Text();
    int cch = strName.Length();
    if (cch == 0) return false;
    int iStart = 0;
    for (int i = 0; i <= cch; ++i) {
        if (i < cch && !IsSeparator(pch[i])) {
            // A drive anywhere ("C:x", "a\C:\x") and NULs, which would cut the name short.
            if (pch[i] == ':' || pch[i] == '\0') return false;
            continue;
        }
        int cchPart = i - iStart;
        if (cchPart == 0) return false; // absolute, doubled or trailing separator
        if (pch[iStart] == '.' && (cchPart == 1 || (cchPart == 2 && pch[iStart + 1] == '.')))
            return false;
        iStart = i + 1;
    }
    return true;
}

string ShortItemName(const string& strPath) {
    const char* pch = strPath.Text();
    int iLast = -1;
    for (int i = 0; i < strPath.Length(); ++i) {
        if (IsSeparator(pch[i])) iLast = i;
    }
    return strPath.Substring(iLast + 1);
}

} // namespace sl
