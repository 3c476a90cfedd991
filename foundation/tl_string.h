// Text of the build's native width that converts freely to and from 8-bit (UTF-8) and
// 16-bit (UTF-16) text; istring compares and searches without regard to letter case, and
// sformat builds a text from a format and arguments.
//
// Every block comes from the memory manager. A null text pointer anywhere stands for
// "(null)". Positions and counts are in native units (bytes of UTF-8 in the 8-bit build);
// -1 means "no position" for a search result and "up to the end" for a count. Indices out
// of range are clamped.
//
// sformat formats are declaration-driven:
//
//     sformat("%{ld,s} Installing %2\n%1%% complete", 45, "a.exe");
//     sformat("%d-%s", 7, "x");
//
// "%{...}" at the very start declares arguments (flags 0 + -, width, .precision, type),
// each formatted at once and referred to later as %1, %2, ...; elsewhere "%" with digits,
// ".", "l", "h" and a type letter (d u f c s m x X) formats the next argument inline.
// Widths and precisions count characters, so both builds give the same text.
#pragma once

#include "foundation/tchar.h"
#include "foundation/tl_text.h"

#include <compare>
#include <concepts>
#include <cstdint>
#include <type_traits>

namespace cetl {

class string {
public:
    string() noexcept {}
    string(const CHAR* psz);
    string(const WCHAR* psz);
    string(const string& str);
    string(string&& str) noexcept;
    // The part of str from iStart, cch characters long (-1: to the end).
    string(const string& str, int iStart, int cch);
    // The text of a text identifier in the current language, empty when there is none.
    explicit string(TextId id);
    virtual ~string();

    string& operator=(const string& str);
    string& operator=(string&& str) noexcept;
    string& operator=(const CHAR* psz);
    string& operator=(const WCHAR* psz);
    string& operator=(CHAR ch);
    string& operator=(WCHAR ch);

    string& operator+=(const string& str);
    string& operator+=(const CHAR* psz);
    string& operator+=(const WCHAR* psz);
    string& operator+=(CHAR ch);
    string& operator+=(WCHAR ch);

    // Counted texts, which need no terminator; cch -1 reads up to the terminating zero.
    string& Assign(const CHAR* pch, int cch);
    string& Assign(const WCHAR* pch, int cch);
    string& Append(const CHAR* pch, int cch);
    string& Append(const WCHAR* pch, int cch);

    int Length() const { return m_cch; }
    bool IsEmpty() const { return m_cch == 0; }
    // Makes the text empty, keeping the buffer.
    void Empty();

    // The character at i, 0 when i is out of range.
    TCHAR GetAt(int i) const { return (i >= 0 && i < m_cch) ? m_psz[i] : TCHAR(0); }
    template <std::integral I> TCHAR operator[](I i) const {
        return (i >= 0 && static_cast<std::uint64_t>(i) < static_cast<std::uint64_t>(m_cch))
                   ? m_psz[i]
                   : TCHAR(0);
    }

    // Terminated text, valid until the string changes. The 8-bit and 16-bit views are
    // converted into a buffer of the string on each call ("" if that buffer cannot be had).
    const TCHAR* Text() const;
    operator const TCHAR*() const { return Text(); }
    const CHAR* Text8() const;
    const WCHAR* Text16() const;

    // New copies that the caller frees with MemFree; null when allocation fails.
    CHAR* Duplicate8() const;
    WCHAR* Duplicate16() const;

    // Overwrites the text from iPos on; a position past the end is reached through blanks.
    void WriteAt(int iPos, const string& str);

    // Index of the first occurrence at or after iStart, -1 when there is none.
    virtual int Find(TCHAR ch, int iStart = 0) const;
    virtual int Find(const string& str, int iStart = 0) const;
    // Index of the last occurrence, -1 when there is none.
    int ReverseFind(TCHAR ch) const;

    string Substring(int iStart, int cch = -1) const;
    // Replaces every occurrence of strFrom (found as Find finds it) by strTo, left to right,
    // never searching inside replaced text. Returns the number of replacements.
    int Replace(const string& strFrom, const string& strTo);

    // Case mapping of ASCII, Latin-1 and Latin Extended-A letters, whatever the locale.
    void MakeUpper();
    void MakeLower();

    // Appends a path component with "\" separators: "/" becomes "\" on both sides, one "\"
    // joins them and one leading "\" of the component is dropped.
    void AppendPath(const string& str);

    // Less than, equal to or greater than zero as this text sorts before, with or after str.
    virtual int Compare(const string& str) const;

    // Leaves the string's blocks, now and later, out of the memory manager's leak reports.
    void Tare();
    bool IsTared() const { return m_fTared; }

protected:
    bool AssignNative(const TCHAR* pch, int cch);
    bool AppendNative(const TCHAR* pch, int cch);
    bool AssignOther(const void* pch, int cch);
    bool AppendOther(const void* pch, int cch);
    bool Reserve(int cch);

private:
    void Release();

    TCHAR* m_psz = nullptr; // native text; null until the first growth
    int m_cch = 0;          // characters in use
    int m_cchAlloc = 0;     // characters the native block holds, terminator included
#if KELVANO_WIDE
    mutable CHAR* m_pszOther = nullptr; // the 8-bit view
#else
    mutable WCHAR* m_pszOther = nullptr; // the 16-bit view
#endif
    mutable int m_cchOtherAlloc = 0;
    bool m_fTared = false;
};

bool operator==(const string& a, const string& b);
std::weak_ordering operator<=>(const string& a, const string& b);
bool operator==(const string& a, const CHAR* b);
std::weak_ordering operator<=>(const string& a, const CHAR* b);
bool operator==(const string& a, const WCHAR* b);
std::weak_ordering operator<=>(const string& a, const WCHAR* b);

string operator+(const string& a, const string& b);
string operator+(const string& a, const CHAR* b);
string operator+(const string& a, const WCHAR* b);
string operator+(const CHAR* a, const string& b);
string operator+(const WCHAR* a, const string& b);
string operator+(const string& a, CHAR b);
string operator+(const string& a, WCHAR b);

// A string that compares and searches without regard to letter case (both sides are
// compared as upper case).
class istring : public string {
public:
    using string::string;
    istring() noexcept {}
    istring(const istring&) = default;
    istring(istring&&) noexcept = default;
    istring(const string& str) : string(str) {}
    istring(string&& str) noexcept : string(static_cast<string&&>(str)) {}
    ~istring() override = default;

    using string::operator=;
    istring& operator=(const istring&) = default;
    istring& operator=(istring&&) noexcept = default;

    int Find(TCHAR ch, int iStart = 0) const override;
    int Find(const string& str, int iStart = 0) const override;
    int Compare(const string& str) const override;
};

// One argument of sformat, kept with its kind so that the format can check it.
struct FormatArg {
    enum Kind : std::uint8_t { kNone, kInteger, kReal, kText8, kText16, kString, kTextId };

    Kind nKind = kNone;
    union {
        std::int64_t n;
        double r;
        const CHAR* psz8;
        const WCHAR* psz16;
        const string* pstr;
    };

    FormatArg() noexcept : n(0) {}
    template <class T>
    requires std::is_integral_v<T> FormatArg(T v)
    noexcept : nKind(kInteger), n(static_cast<std::int64_t>(v)) {}
    template <class T>
    requires std::is_enum_v<T> FormatArg(T v)
    noexcept
        : nKind(kInteger), n(static_cast<std::int64_t>(static_cast<std::underlying_type_t<T>>(v))) {
    }
    template <class T>
    requires std::is_floating_point_v<T> FormatArg(T v)
    noexcept : nKind(kReal), r(static_cast<double>(v)) {}
    FormatArg(const CHAR* psz) noexcept : nKind(kText8), psz8(psz) {}
    FormatArg(const WCHAR* psz) noexcept : nKind(kText16), psz16(psz) {}
    FormatArg(std::nullptr_t) noexcept : nKind(kText8), psz8(nullptr) {}
    FormatArg(const string& str) noexcept : nKind(kString), pstr(&str) {}
    FormatArg(TextId id) noexcept : nKind(kTextId), n(id.id) {}
    // Addresses print as numbers (diagnostics show them with "%08lX").
    FormatArg(const void* pv) noexcept
        : nKind(kInteger), n(static_cast<std::int64_t>(reinterpret_cast<std::uintptr_t>(pv))) {}
};

// A string built from a format text and arguments (see the top of this file).
class sformat : public string {
public:
    template <class... Args> explicit sformat(const CHAR* pszFormat, const Args&... args) {
        const FormatArg rgArgs[sizeof...(Args) + 1] = {FormatArg(args)...};
        FormatFrom(string(pszFormat), rgArgs, static_cast<int>(sizeof...(Args)));
    }
    template <class... Args> explicit sformat(const WCHAR* pszFormat, const Args&... args) {
        const FormatArg rgArgs[sizeof...(Args) + 1] = {FormatArg(args)...};
        FormatFrom(string(pszFormat), rgArgs, static_cast<int>(sizeof...(Args)));
    }
    template <class... Args> explicit sformat(const string& strFormat, const Args&... args) {
        const FormatArg rgArgs[sizeof...(Args) + 1] = {FormatArg(args)...};
        FormatFrom(strFormat, rgArgs, static_cast<int>(sizeof...(Args)));
    }
    sformat(const sformat&) = default;
    sformat(sformat&&) noexcept = default;
    ~sformat() override = default;
    sformat& operator=(const sformat&) = default;
    sformat& operator=(sformat&&) noexcept = default;

private:
    void FormatFrom(const string& strFormat, const FormatArg* pArgs, int cArgs);
};

} // namespace cetl
