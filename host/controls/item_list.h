// The strings of a list box or drop-down list with their item data: sorted insertion and the
// searches, both without regard to case.
#pragma once

#include "host/types.h"

#include <string>
#include <string_view>
#include <vector>

namespace host::controls {

struct ListItem {
    std::u16string text;
    LPARAM data = 0;
    bool fSelected = false; // multiple-selection list boxes
};

// ASCII and the Latin letters U+00C0 to U+017F, as the window service compares names.
inline char16_t FoldCase(char16_t c) {
    if (c >= u'A' && c <= u'Z') return static_cast<char16_t>(c + 32);
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return static_cast<char16_t>(c + 32);
    if (c >= 0x100 && c <= 0x17F && (c & 1) == 0 && c != 0x130 && c != 0x138) return c + 1;
    return c;
}

inline int CompareNoCase(std::u16string_view a, std::u16string_view b) {
    const std::size_t c = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < c; ++i) {
        const char16_t x = FoldCase(a[i]);
        const char16_t y = FoldCase(b[i]);
        if (x != y) return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

class ItemList {
public:
    int Count() const { return static_cast<int>(items_.size()); }
    bool Valid(LPARAM i) const { return i >= 0 && i < Count(); }
    ListItem& operator[](int i) { return items_[static_cast<std::size_t>(i)]; }
    const ListItem& operator[](int i) const { return items_[static_cast<std::size_t>(i)]; }

    // Adds at the end, or in order when sorted; the new index, -1 when full.
    int Add(std::u16string_view text, bool fSorted) {
        int i = Count();
        if (fSorted) {
            i = 0;
            while (i < Count() && CompareNoCase((*this)[i].text, text) <= 0)
                ++i;
        }
        return Insert(i, text);
    }
    // Inserts before i (-1: at the end); the index, -1 when i is out of range.
    int Insert(int i, std::u16string_view text) {
        if (i == -1) i = Count();
        if (i < 0 || i > Count() || Count() >= kMaxItems) return -1;
        items_.insert(items_.begin() + i, ListItem{std::u16string(text), 0, false});
        return i;
    }
    bool Delete(int i) {
        if (!Valid(i)) return false;
        items_.erase(items_.begin() + i);
        return true;
    }
    void Clear() { items_.clear(); }

    // The first item after iStart (-1: from the start), wrapping, that begins with text
    // (fExact: equals it); -1 when none.
    int Find(int iStart, std::u16string_view text, bool fExact) const {
        const int c = Count();
        if (c == 0) return -1;
        if (iStart < -1 || iStart >= c) iStart = -1;
        for (int n = 1; n <= c; ++n) {
            const int i = (iStart + n) % c;
            std::u16string_view item = (*this)[i].text;
            if (fExact ? CompareNoCase(item, text) == 0
                       : item.size() >= text.size() &&
                             CompareNoCase(item.substr(0, text.size()), text) == 0)
                return i;
        }
        return -1;
    }

    static constexpr int kMaxItems = 32767;

private:
    std::vector<ListItem> items_;
};

// A text of the window's width from a message's long parameter.
inline std::u16string_view TextParam(LPARAM lParam) {
    const auto* psz = reinterpret_cast<const char16_t*>(lParam);
    return psz == nullptr ? std::u16string_view() : std::u16string_view(psz);
}

} // namespace host::controls
