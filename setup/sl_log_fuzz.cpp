// Reads arbitrary bytes as an uninstall log; whatever was read must write out and read back
// as the same entries, and the path walks must hold their shape on every text read.
#include "setup/sl_internal.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

void Check(bool f) {
    if (!f) std::abort();
}

bool SameEntries(const sl::Journal& a, const sl::Journal& b) {
    if (a.Count() != b.Count()) return false;
    for (std::size_t i = 0; i < a.Count(); ++i) {
        const sl::JournalEntry& x = a.Entries()[i];
        const sl::JournalEntry& y = b.Entries()[i];
        if (x.nType != y.nType || !(x.strFirst == y.strFirst) || !(x.strSecond == y.strSecond))
            return false;
    }
    return true;
}

bool IsPrefixOf(const sl::string& strPrefix, const sl::string& str) {
    return strPrefix.Length() <= str.Length() &&
           std::memcmp(strPrefix.Text(), str.Text(), strPrefix.Length()) == 0;
}

void CheckPaths(const sl::string& strPath) {
    int cchLast = 0;
    for (const sl::string& strPrefix : sl::FolderPrefixes(strPath, true)) {
        Check(strPrefix.Length() > cchLast && IsPrefixOf(strPrefix, strPath));
        char chEnd = strPrefix.GetAt(strPrefix.Length() - 1);
        Check(chEnd != '\\' && chEnd != ':');
        cchLast = strPrefix.Length();
    }
    sl::string strShort = sl::ShortItemName(strPath);
    Check(strShort.Find('\\') < 0 && strShort.Find('/') < 0);
    sl::string strEntry = sl::NormaliseEntryName(strPath);
    Check(strEntry.Find('\\') < 0 && strEntry.Length() + 1 >= strPath.Length());
    if (sl::IsSafeRelativeName(strPath)) {
        // Neither absolute nor a drive, so normalising only turns the separators round.
        Check(strPath.Find(':') < 0 && strEntry.Length() == strPath.Length() &&
              sl::IsSafeRelativeName(strEntry));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pb, std::size_t cb) {
    sl::Journal journal;
    int cRead = sl::ParseLog(reinterpret_cast<const char*>(pb), cb, journal);
    Check(cRead >= 0 && static_cast<std::size_t>(cRead) >= journal.Count());
    for (const sl::JournalEntry& entry : journal.Entries()) {
        // The reader takes nothing that could not be written back.
        Check(sl::IsLoggable(entry.strFirst) && sl::IsLoggable(entry.strSecond));
        CheckPaths(entry.strFirst);
    }

    sl::string strLog = sl::RenderLog(journal);
    sl::Journal again;
    Check(sl::ParseLog(strLog.Text(), strLog.Length(), again) == static_cast<int>(journal.Count()));
    Check(SameEntries(journal, again));
    Check(sl::RenderLog(again) == strLog);
    return 0;
}
