// Statements of the script and the entries they produce.
#include "tools/rc/rc_internal.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>

namespace rc {
namespace {

constexpr std::uint16_t kRtIcon = 3;
constexpr std::uint16_t kRtDialog = 5;
constexpr std::uint16_t kRtString = 6;
constexpr std::uint16_t kRtRcData = 10;
constexpr std::uint16_t kRtGroupIcon = 14;

constexpr std::uint32_t kWsPopup = 0x80000000, kWsChild = 0x40000000, kWsVisible = 0x10000000,
                        kWsCaption = 0x00C00000, kWsBorder = 0x00800000, kWsSysMenu = 0x00080000,
                        kWsGroup = 0x00020000, kWsTabStop = 0x00010000, kDsSetFont = 0x40;

enum : std::uint16_t {
    kButton = 0x80,
    kEdit = 0x81,
    kStatic = 0x82,
    kListBox = 0x83,
    kScrollBar = 0x84,
    kComboBox = 0x85
};

std::string Upper(std::string s) {
    for (auto& c : s)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

std::u16string Widen(const std::string& ascii) {
    return std::u16string(ascii.begin(), ascii.end());
}

std::u16string UpperName(std::u16string s) {
    for (auto& c : s)
        if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
    return s;
}

// A name or ordinal field in a dialog template.
struct NameOrOrd {
    std::uint16_t nId = 0;
    std::u16string text;
};

struct Item {
    std::uint32_t helpId = 0, style = 0, exStyle = 0, id = 0;
    std::int16_t x = 0, y = 0, cx = 0, cy = 0;
    NameOrOrd cls, text;
};

struct Dialog {
    bool fEx = false;
    std::uint32_t helpId = 0, style = 0, exStyle = 0;
    std::int16_t x = 0, y = 0, cx = 0, cy = 0;
    NameOrOrd menu, cls;
    std::u16string caption;
    bool fFont = false;
    std::uint16_t wPoint = 0, wWeight = 400;
    std::uint8_t bItalic = 0, bCharSet = 1;
    std::u16string face;
    std::vector<Item> items;
};

class Bytes {
public:
    void U8(std::uint8_t v) { b_.push_back(v); }
    void U16(std::uint16_t v) {
        U8(static_cast<std::uint8_t>(v));
        U8(static_cast<std::uint8_t>(v >> 8));
    }
    void U32(std::uint32_t v) {
        U16(static_cast<std::uint16_t>(v));
        U16(static_cast<std::uint16_t>(v >> 16));
    }
    void S16(std::int16_t v) { U16(static_cast<std::uint16_t>(v)); }
    void Text(const std::u16string& s) {
        for (char16_t c : s)
            U16(c);
        U16(0);
    }
    void Field(const NameOrOrd& f) {
        if (f.nId) {
            U16(0xFFFF);
            U16(f.nId);
        } else {
            Text(f.text);
        }
    }
    void Align4() {
        while (b_.size() % 4)
            U8(0);
    }
    std::vector<std::uint8_t>& data() { return b_; }

private:
    std::vector<std::uint8_t> b_;
};

std::vector<std::uint8_t> WriteDialog(const Dialog& d) {
    Bytes b;
    if (d.fEx) {
        b.U16(1);
        b.U16(0xFFFF);
        b.U32(d.helpId);
        b.U32(d.exStyle);
        b.U32(d.style);
    } else {
        b.U32(d.style);
        b.U32(d.exStyle);
    }
    b.U16(static_cast<std::uint16_t>(d.items.size()));
    b.S16(d.x);
    b.S16(d.y);
    b.S16(d.cx);
    b.S16(d.cy);
    b.Field(d.menu);
    b.Field(d.cls);
    b.Text(d.caption);
    if (d.style & kDsSetFont) {
        b.U16(d.wPoint);
        if (d.fEx) {
            b.U16(d.wWeight);
            b.U8(d.bItalic);
            b.U8(d.bCharSet);
        }
        b.Text(d.face);
    }
    for (const Item& it : d.items) {
        b.Align4();
        if (d.fEx) {
            b.U32(it.helpId);
            b.U32(it.exStyle);
            b.U32(it.style);
        } else {
            b.U32(it.style);
            b.U32(it.exStyle);
        }
        b.S16(it.x);
        b.S16(it.y);
        b.S16(it.cx);
        b.S16(it.cy);
        if (d.fEx)
            b.U32(it.id);
        else
            b.U16(static_cast<std::uint16_t>(it.id));
        b.Field(it.cls);
        b.Field(it.text);
        b.U16(0); // no creation data
    }
    return std::move(b.data());
}

// How a shorthand control statement reads and what it makes.
struct ControlKind {
    const char* keyword;
    std::uint16_t cls;
    std::uint32_t style; // besides WS_CHILD | WS_VISIBLE
    bool fText;          // starts with a text
};

const ControlKind kControls[] = {
    {"LTEXT", kStatic, 0x0000 | kWsGroup, true},
    {"CTEXT", kStatic, 0x0001 | kWsGroup, true},
    {"RTEXT", kStatic, 0x0002 | kWsGroup, true},
    {"PUSHBUTTON", kButton, 0x0000 | kWsTabStop, true},
    {"DEFPUSHBUTTON", kButton, 0x0001 | kWsTabStop, true},
    {"GROUPBOX", kButton, 0x0007, true},
    {"AUTORADIOBUTTON", kButton, 0x0009 | kWsTabStop, true},
    {"RADIOBUTTON", kButton, 0x0004 | kWsTabStop, true},
    {"AUTOCHECKBOX", kButton, 0x0003 | kWsTabStop, true},
    {"CHECKBOX", kButton, 0x0002 | kWsTabStop, true},
    {"AUTO3STATE", kButton, 0x0006 | kWsTabStop, true},
    {"STATE3", kButton, 0x0005 | kWsTabStop, true},
    {"COMBOBOX", kComboBox, 0x0001 | kWsTabStop, false},
    {"EDITTEXT", kEdit, 0x0000 | kWsBorder | kWsTabStop, false},
    {"LISTBOX", kListBox, 0x0001 | kWsBorder, false},
    {"SCROLLBAR", kScrollBar, 0x0000, false},
};

const char* const kMemoryOptions[] = {"PRELOAD", "LOADONCALL", "FIXED",  "MOVEABLE", "DISCARDABLE",
                                      "PURE",    "IMPURE",     "SHARED", "NONSHARED"};
const char* const kUnsupportedTypes[] = {
    "BITMAP",    "CURSOR",  "MENU",         "MENUEX",  "ACCELERATORS", "VERSIONINFO",
    "FONT",      "FONTDIR", "MESSAGETABLE", "DLGINIT", "TOOLBAR",      "TEXTINCLUDE",
    "ANICURSOR", "ANIICON", "PLUGPLAY",     "VXD",     "DLGINCLUDE"};

std::uint16_t PredefinedClass(const std::u16string& name) {
    static const std::pair<const char*, std::uint16_t> classes[] = {
        {"BUTTON", kButton},   {"EDIT", kEdit},           {"STATIC", kStatic},
        {"LISTBOX", kListBox}, {"SCROLLBAR", kScrollBar}, {"COMBOBOX", kComboBox}};
    std::u16string up = UpperName(name);
    for (const auto& [n, atom] : classes)
        if (up == Widen(n)) return atom;
    return 0;
}

class Compiler {
public:
    Compiler(Preprocessor& pp, const Options& options)
        : pp_(pp), t_(pp.tokens()), wLanguage_(options.defaultLanguage), options_(options) {}

    std::map<ResKey, std::vector<std::uint8_t>> Run() {
        while (!AtEnd())
            Statement();
        FinishStrings();
        return std::move(entries_);
    }

private:
    // ---- Tokens ----
    bool AtEnd() const { return i_ >= t_.size(); }
    const Token& Peek() const {
        static const Token end;
        return AtEnd() ? end : t_[i_];
    }
    Location Here() const {
        if (!AtEnd()) return t_[i_].loc;
        return t_.empty() ? Location{} : t_.back().loc;
    }
    [[noreturn]] void Fail(const std::string& message) const { pp_.Fail(Here(), message); }
    std::string Describe(const Token& t) const {
        switch (t.kind) {
        case TokKind::End:
            return "the end of the script";
        case TokKind::String:
            return "a string";
        case TokKind::Number:
            return "'" + t.text + "'";
        default:
            return "'" + t.text + "'";
        }
    }
    bool IsKeyword(const char* kw) const {
        return Peek().kind == TokKind::Ident && Upper(Peek().text) == kw;
    }
    bool TakeKeyword(const char* kw) {
        if (!IsKeyword(kw)) return false;
        ++i_;
        return true;
    }
    bool IsPunct(const char* p) const { return Peek().kind == TokKind::Punct && Peek().text == p; }
    bool TakePunct(const char* p) {
        if (!IsPunct(p)) return false;
        ++i_;
        return true;
    }
    void ExpectComma(const char* after) {
        if (!TakePunct(","))
            Fail(std::string("expected ',' after ") + after + ", found " + Describe(Peek()));
    }
    bool TakeBegin() { return TakeKeyword("BEGIN") || TakePunct("{"); }
    bool TakeEnd() { return TakeKeyword("END") || TakePunct("}"); }
    void SkipMemoryOptions() {
        for (bool f = true; f;) {
            f = false;
            for (const char* m : kMemoryOptions)
                f = f || TakeKeyword(m);
        }
    }

    // ---- Expressions ----
    // An OR chain whose terms may be "NOT x" (clear x); starts from `acc`.
    std::int64_t Style(std::int64_t acc, const char* what) {
        if (AtEnd()) Fail(std::string("expected ") + what + ", found the end of the script");
        do {
            if (TakeKeyword("NOT"))
                acc &= ~And(what);
            else
                acc |= And(what);
        } while (TakePunct("|"));
        return acc;
    }
    std::int64_t Expr(const char* what) { return Style(0, what); }
    std::int64_t And(const char* what) {
        std::int64_t v = Add(what);
        while (TakePunct("&"))
            v &= Add(what);
        return v;
    }
    std::int64_t Add(const char* what) {
        std::int64_t v = Mul(what);
        for (;;) {
            if (TakePunct("+"))
                v = Wrap(v + Mul(what));
            else if (TakePunct("-"))
                v = Wrap(v - Mul(what));
            else
                return v;
        }
    }
    std::int64_t Mul(const char* what) {
        std::int64_t v = Unary(what);
        for (;;) {
            if (TakePunct("*")) {
                v = Wrap(v * Unary(what));
            } else if (IsPunct("/") || IsPunct("%")) {
                bool fDiv = Peek().text == "/";
                Location at = Here();
                ++i_;
                std::int64_t r = Unary(what);
                if (r == 0) pp_.Fail(at, "division by zero");
                v = fDiv ? v / r : v % r;
            } else {
                return v;
            }
        }
    }
    // Keeps values within 33 bits of range so that nothing overflows.
    static std::int64_t Wrap(std::int64_t v) {
        return static_cast<std::int64_t>(static_cast<std::int32_t>(static_cast<std::uint32_t>(v)));
    }
    std::int64_t Unary(const char* what) {
        if (++depth_ > 200) Fail("expression nested too deeply");
        std::int64_t v;
        if (TakePunct("-"))
            v = Wrap(-Unary(what));
        else if (TakePunct("+"))
            v = Unary(what);
        else if (TakePunct("~"))
            v = ~Unary(what);
        else if (TakePunct("(")) {
            v = Expr(what);
            if (!TakePunct(")")) Fail("expected ')', found " + Describe(Peek()));
        } else if (Peek().kind == TokKind::Number) {
            v = t_[i_++].num;
        } else if (Peek().kind == TokKind::Ident) {
            Fail("unknown name '" + Peek().text + "' where " + what + " was expected");
        } else {
            Fail(std::string("expected ") + what + ", found " + Describe(Peek()));
        }
        --depth_;
        return v;
    }
    std::int64_t Ranged(std::int64_t lo, std::int64_t hi, const char* what) {
        Location at = Here();
        std::int64_t v = Expr(what);
        if (v < lo || v > hi)
            pp_.Fail(at, std::string(what) + " " + std::to_string(v) + " is out of range (" +
                             std::to_string(lo) + " to " + std::to_string(hi) + ")");
        return v;
    }
    std::int16_t Coord(const char* what) {
        return static_cast<std::int16_t>(Ranged(-32768, 32767, what));
    }
    std::uint32_t Flags(std::uint32_t def, const char* what) {
        return static_cast<std::uint32_t>(Style(def, what));
    }
    // A quoted text; with fJoin, adjacent quoted pieces form one text. A NUL would end the
    // text early where it is read back (and shift every later field of a dialog), so texts
    // refuse it; file names have a check of their own.
    std::u16string String(const char* what, bool fJoin = false, bool fCheckNul = true) {
        if (Peek().kind != TokKind::String)
            Fail(std::string("expected ") + what + " in quotes, found " + Describe(Peek()));
        std::u16string s;
        do {
            const Token& t = t_[i_++];
            if (fCheckNul) RefuseNul(t, what);
            s += t.str;
        } while (fJoin && Peek().kind == TokKind::String);
        return s;
    }
    void RefuseNul(const Token& t, const char* what) const {
        if (t.str.find(u'\0') != std::u16string::npos)
            pp_.Fail(t.loc, std::string(what) + " contains a NUL character");
    }

    // ---- Statements ----
    void Statement() {
        if (TakeKeyword("LANGUAGE")) {
            wLanguage_ = Language();
            return;
        }
        if (TakeKeyword("STRINGTABLE")) {
            StringTable();
            return;
        }
        Location at = Here();
        ResKey key;
        ResourceName(&key.nName, &key.sName, "a resource id");
        const Token& type = Peek();
        if (type.kind == TokKind::End) Fail("expected a resource type after the resource id");
        if (type.kind == TokKind::Ident) {
            std::string kw = Upper(type.text);
            if (kw == "DIALOG" || kw == "DIALOGEX") {
                ++i_;
                Dialog_(key, kw == "DIALOGEX", at);
                return;
            }
            if (kw == "ICON") {
                ++i_;
                Icon(key, at);
                return;
            }
            for (const char* u : kUnsupportedTypes)
                if (kw == u) Fail(type.text + " resources are not supported");
            if (kw == "RCDATA")
                key.nType = kRtRcData;
            else if (kw == "HTML")
                key.nType = 23;
            else if (kw == "MANIFEST")
                key.nType = 24;
            else
                key.sType = Widen(kw);
            ++i_;
        } else if (type.kind == TokKind::String) {
            RefuseNul(type, "the resource type");
            key.sType = UpperName(type.str);
            if (key.sType.empty()) Fail("a resource type cannot be empty");
            ++i_;
        } else {
            key.nType = static_cast<std::uint32_t>(Ranged(1, 0xFFFF, "resource type"));
        }
        SkipMemoryOptions();
        FileEntry(key, at);
    }

    void ResourceName(std::uint32_t* pNum, std::u16string* pText, const char* what) {
        const Token& t = Peek();
        if (t.kind == TokKind::Ident && Upper(t.text) != "NOT") {
            *pText = UpperName(Widen(t.text));
            ++i_;
        } else if (t.kind == TokKind::String) {
            *pText = UpperName(String(what));
            if (pText->empty()) Fail("a resource name cannot be empty");
        } else {
            *pNum = static_cast<std::uint32_t>(Ranged(1, 0xFFFF, what));
        }
    }

    std::uint16_t Language() {
        bool fEsperanto = (Peek().macro && *Peek().macro == "LANG_ESPERANTO") ||
                          (Peek().kind == TokKind::Ident && Peek().text == "LANG_ESPERANTO");
        std::int64_t primary = Ranged(0, 0x3FF, "primary language");
        ExpectComma("the primary language");
        Location at = Here();
        std::int64_t sub = Ranged(0, 0x3F, "sublanguage");
        if (fEsperanto && sub != 0)
            pp_.Fail(at, "Esperanto takes SUBLANG_NEUTRAL (its language id is 0)");
        return static_cast<std::uint16_t>((sub << 10) | primary);
    }

    // Optional statements between a resource's head and BEGIN; false when none applies.
    bool CommonOption(std::uint16_t* pLang) {
        if (TakeKeyword("LANGUAGE")) {
            *pLang = Language();
            return true;
        }
        if (TakeKeyword("CHARACTERISTICS") || TakeKeyword("VERSION")) {
            Expr("a number");
            return true;
        }
        return false;
    }

    void Add(const ResKey& key, std::vector<std::uint8_t> data, const Location& at) {
        if (!entries_.emplace(key, std::move(data)).second)
            pp_.Fail(at, "a resource with this type, id and language is already defined");
    }

    void FileEntry(ResKey key, const Location& at) {
        key.wLanguage = wLanguage_;
        if (Peek().kind != TokKind::String)
            Fail("expected a file name in quotes, found " + Describe(Peek()));
        std::string data = ReadResourceFile(at);
        Add(key, std::vector<std::uint8_t>(data.begin(), data.end()), at);
    }

    // Reads the quoted file name at the cursor, relative to the script that names it.
    std::string ReadResourceFile(const Location& at) {
        std::u16string name16 = String("a file name", false, false);
        std::string name;
        for (char16_t c : name16) { // back to UTF-8
            if (c < 0x80) {
                name += static_cast<char>(c);
            } else if (c < 0x800) {
                name += static_cast<char>(0xC0 | (c >> 6));
                name += static_cast<char>(0x80 | (c & 0x3F));
            } else {
                name += static_cast<char>(0xE0 | (c >> 12));
                name += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
                name += static_cast<char>(0x80 | (c & 0x3F));
            }
        }
        if (name.empty()) pp_.Fail(at, "empty file name");
        if (HasControlChar(name)) pp_.Fail(at, "file name contains a control character");
        namespace fs = std::filesystem;
        std::vector<std::string> candidates;
        fs::path p(name);
        if (p.is_absolute()) {
            candidates.push_back(name);
        } else {
            candidates.push_back(
                (fs::path(pp_.FileName(at.iFile)).parent_path() / p).lexically_normal().string());
            for (const auto& d : options_.includeDirs)
                candidates.push_back((fs::path(d) / p).lexically_normal().string());
        }
        std::string data;
        for (const auto& c : candidates)
            if (pp_.ReadFile(c, &data)) return data;
        pp_.Fail(at, "cannot open file '" + name + "'");
    }

    // ---- String tables ----
    struct StringEntry {
        std::u16string text;
        Location loc;
    };

    void StringTable() {
        std::uint16_t lang = wLanguage_;
        SkipMemoryOptions();
        while (CommonOption(&lang)) {
        }
        if (!TakeBegin()) Fail("expected BEGIN after STRINGTABLE, found " + Describe(Peek()));
        auto& table = strings_[lang];
        while (!TakeEnd()) {
            if (AtEnd()) Fail("STRINGTABLE not closed by END");
            Location at = Here();
            auto id = static_cast<std::uint32_t>(Ranged(0, 0xFFFF, "string id"));
            TakePunct(",");
            std::u16string s = String("the string", true);
            if (s.size() > 0xFFFF) pp_.Fail(at, "string longer than 65535 units");
            if (!table.emplace(id, StringEntry{std::move(s), at}).second)
                pp_.Fail(at,
                         "string " + std::to_string(id) + " is already defined in this language");
        }
    }

    void FinishStrings() {
        for (const auto& [lang, table] : strings_) {
            std::uint32_t block = 0xFFFFFFFF;
            for (const auto& [id, entry] : table) {
                if (id / 16 + 1 == block) continue;
                block = id / 16 + 1;
                Bytes b;
                for (std::uint32_t k = 0; k < 16; ++k) {
                    auto it = table.find((block - 1) * 16 + k);
                    std::u16string s = it == table.end() ? std::u16string() : it->second.text;
                    b.U16(static_cast<std::uint16_t>(s.size()));
                    for (char16_t c : s)
                        b.U16(c);
                }
                ResKey key;
                key.nType = kRtString;
                key.nName = block;
                key.wLanguage = lang;
                if (!entries_.emplace(key, std::move(b.data())).second)
                    pp_.Fail(entry.loc, "string block " + std::to_string(block) +
                                            " collides with another resource of type 6");
            }
        }
    }

    // ---- Icons ----
    void Icon(ResKey key, const Location& at) {
        key.nType = kRtGroupIcon;
        key.wLanguage = wLanguage_;
        SkipMemoryOptions();
        if (Peek().kind != TokKind::String)
            Fail("expected an icon file name in quotes, found " + Describe(Peek()));
        std::string f = ReadResourceFile(at);
        auto rd16 = [&](std::size_t o) {
            return static_cast<std::uint16_t>(static_cast<std::uint8_t>(f[o]) |
                                              (static_cast<std::uint8_t>(f[o + 1]) << 8));
        };
        auto rd32 = [&](std::size_t o) {
            return static_cast<std::uint32_t>(rd16(o)) |
                   (static_cast<std::uint32_t>(rd16(o + 2)) << 16);
        };
        if (f.size() < 6 || rd16(0) != 0 || rd16(2) != 1 || rd16(4) == 0)
            pp_.Fail(at, "not an icon file");
        std::uint16_t count = rd16(4);
        if (f.size() < 6 + std::size_t{count} * 16) pp_.Fail(at, "icon file is truncated");
        Bytes group;
        group.U16(0);
        group.U16(1);
        group.U16(count);
        for (std::uint16_t i = 0; i < count; ++i) {
            std::size_t e = 6 + std::size_t{i} * 16;
            std::uint32_t cb = rd32(e + 8), off = rd32(e + 12);
            if (cb == 0 || std::uint64_t{off} + cb > f.size())
                pp_.Fail(at, "icon image " + std::to_string(i + 1) + " lies outside the file");
            if (nextIconId_ > 0xFFFF) pp_.Fail(at, "too many icon images");
            auto id = static_cast<std::uint16_t>(nextIconId_++);
            for (int k = 0; k < 4; ++k)
                group.U8(static_cast<std::uint8_t>(f[e + static_cast<std::size_t>(k)]));
            group.U16(rd16(e + 4));
            group.U16(rd16(e + 6));
            group.U32(cb);
            group.U16(id);
            ResKey img;
            img.nType = kRtIcon;
            img.nName = id;
            img.wLanguage = key.wLanguage;
            Add(img, std::vector<std::uint8_t>(f.begin() + off, f.begin() + off + cb), at);
        }
        Add(key, std::move(group.data()), at);
    }

    // ---- Dialogs ----
    void Dialog_(ResKey key, bool fEx, const Location& at) {
        Dialog d;
        d.fEx = fEx;
        std::uint16_t lang = wLanguage_;
        SkipMemoryOptions();
        d.x = Coord("the dialog's x");
        ExpectComma("x");
        d.y = Coord("the dialog's y");
        ExpectComma("y");
        d.cx = Coord("the dialog's width");
        ExpectComma("the width");
        d.cy = Coord("the dialog's height");
        if (fEx && TakePunct(",")) d.helpId = static_cast<std::uint32_t>(Expr("a help id"));
        bool fStyle = false, fCaption = false;
        std::uint32_t style = 0;
        while (!TakeBegin()) {
            if (AtEnd()) Fail("dialog has no BEGIN");
            if (CommonOption(&lang)) continue;
            if (TakeKeyword("STYLE")) {
                style = Flags(0, "a style");
                fStyle = true;
            } else if (TakeKeyword("EXSTYLE")) {
                d.exStyle = Flags(0, "an extended style");
            } else if (TakeKeyword("CAPTION")) {
                d.caption = String("the caption", true);
                fCaption = true;
            } else if (TakeKeyword("FONT")) {
                d.fFont = true;
                d.wPoint = static_cast<std::uint16_t>(Ranged(0, 0xFFFF, "font size"));
                ExpectComma("the font size");
                d.face = String("the font face");
                if (TakePunct(",")) {
                    if (!fEx) Fail("FONT weight, italic and character set need DIALOGEX");
                    d.wWeight = static_cast<std::uint16_t>(Ranged(0, 0xFFFF, "font weight"));
                    if (TakePunct(",")) {
                        d.bItalic = static_cast<std::uint8_t>(Ranged(0, 0xFF, "italic flag"));
                        if (TakePunct(","))
                            d.bCharSet =
                                static_cast<std::uint8_t>(Ranged(0, 0xFF, "character set"));
                    }
                }
            } else if (TakeKeyword("CLASS")) {
                if (Peek().kind == TokKind::String) {
                    d.cls.text = String("the class");
                    if (d.cls.text.empty()) Fail("a class name cannot be empty");
                } else {
                    d.cls.nId = static_cast<std::uint16_t>(Ranged(1, 0xFFFF, "class atom"));
                }
            } else if (TakeKeyword("MENU")) {
                std::uint32_t n = 0;
                std::u16string s;
                ResourceName(&n, &s, "a menu id");
                d.menu.nId = static_cast<std::uint16_t>(n);
                d.menu.text = s;
            } else {
                Fail("unexpected " + Describe(Peek()) + " in the dialog's header (expected BEGIN)");
            }
        }
        d.style = (fStyle ? style : (kWsPopup | kWsBorder | kWsSysMenu)) |
                  (fCaption ? kWsCaption : 0) | (d.fFont ? kDsSetFont : 0);
        while (!TakeEnd()) {
            if (AtEnd()) Fail("dialog not closed by END");
            d.items.push_back(Control(fEx));
            if (d.items.size() > 0xFFFF) Fail("too many controls in one dialog");
        }
        key.nType = kRtDialog;
        key.wLanguage = lang;
        Add(key, WriteDialog(d), at);
    }

    std::uint32_t ControlId(bool fEx) {
        std::int64_t v = fEx ? Ranged(INT32_MIN, UINT32_MAX, "control id")
                             : Ranged(-32768, 0xFFFF, "control id");
        return fEx ? static_cast<std::uint32_t>(v) : static_cast<std::uint16_t>(v);
    }

    NameOrOrd ControlText(bool fIcon) {
        NameOrOrd t;
        if (Peek().kind == TokKind::String) {
            t.text = String("the control's text", true);
        } else if (fIcon && Peek().kind == TokKind::Ident) {
            t.text = UpperName(Widen(Peek().text));
            ++i_;
        } else {
            t.nId = static_cast<std::uint16_t>(Ranged(1, 0xFFFF, "the control's text id"));
        }
        return t;
    }

    // The optional tail: [, style [, exstyle [, helpid]]].
    void Tail(Item& it, bool fEx, bool fStyle) {
        if (fStyle) {
            if (!TakePunct(",")) return;
            it.style = Flags(it.style, "a style");
        }
        if (!TakePunct(",")) return;
        it.exStyle = Flags(0, "an extended style");
        if (fEx && TakePunct(",")) it.helpId = static_cast<std::uint32_t>(Expr("a help id"));
    }

    void Rect(Item& it, bool fSize) {
        it.x = Coord("the control's x");
        ExpectComma("x");
        it.y = Coord("the control's y");
        if (!fSize) return;
        ExpectComma("y");
        it.cx = Coord("the control's width");
        ExpectComma("the width");
        it.cy = Coord("the control's height");
    }

    Item Control(bool fEx) {
        Item it;
        const Token& kw = Peek();
        if (kw.kind != TokKind::Ident)
            Fail("expected a control statement or END, found " + Describe(kw));
        std::string name = Upper(kw.text);
        ++i_;
        if (name == "CONTROL") {
            it.text = ControlText(false);
            ExpectComma("the text");
            it.id = ControlId(fEx);
            ExpectComma("the id");
            if (Peek().kind == TokKind::String) {
                std::u16string cls = String("the class");
                if (cls.empty()) Fail("a class name cannot be empty");
                if (std::uint16_t atom = PredefinedClass(cls))
                    it.cls.nId = atom;
                else
                    it.cls.text = cls;
            } else if (Peek().kind == TokKind::Ident && PredefinedClass(Widen(Peek().text))) {
                it.cls.nId = PredefinedClass(Widen(Peek().text));
                ++i_;
            } else {
                it.cls.nId = static_cast<std::uint16_t>(Ranged(0x80, 0x85, "class atom"));
            }
            ExpectComma("the class");
            it.style = Flags(kWsChild | kWsVisible, "a style");
            ExpectComma("the style");
            Rect(it, true);
            Tail(it, fEx, false);
            return it;
        }
        if (name == "ICON") {
            it.cls.nId = kStatic;
            it.style = kWsChild | kWsVisible | 0x0003; // SS_ICON
            it.text = ControlText(true);
            ExpectComma("the icon");
            it.id = ControlId(fEx);
            ExpectComma("the id");
            Rect(it, false);
            if (TakePunct(",")) {
                it.cx = Coord("the control's width");
                ExpectComma("the width");
                it.cy = Coord("the control's height");
                Tail(it, fEx, true);
            }
            return it;
        }
        for (const ControlKind& k : kControls) {
            if (name != k.keyword) continue;
            it.cls.nId = k.cls;
            it.style = kWsChild | kWsVisible | k.style;
            if (k.fText) {
                it.text = ControlText(false);
                ExpectComma("the text");
            }
            it.id = ControlId(fEx);
            ExpectComma("the id");
            Rect(it, true);
            Tail(it, fEx, true);
            return it;
        }
        pp_.Fail(kw.loc, "unknown control statement '" + kw.text + "'");
    }

    Preprocessor& pp_;
    const std::vector<Token>& t_;
    std::size_t i_ = 0;
    int depth_ = 0;
    std::uint16_t wLanguage_;
    const Options& options_;
    std::map<ResKey, std::vector<std::uint8_t>> entries_;
    std::map<std::uint16_t, std::map<std::uint32_t, StringEntry>> strings_;
    std::uint32_t nextIconId_ = 1;
};

void PutU16(std::vector<std::uint8_t>& b, std::size_t at, std::uint16_t v) {
    b[at] = static_cast<std::uint8_t>(v);
    b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}
void PutU32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
    PutU16(b, at, static_cast<std::uint16_t>(v));
    PutU16(b, at + 2, static_cast<std::uint16_t>(v >> 16));
}

bool CompileTokens(Preprocessor& pp, const Options& options, Result* result) {
    Compiler c(pp, options);
    result->table = WriteTable(c.Run());
    return true;
}

} // namespace

bool operator<(const ResKey& a, const ResKey& b) {
    auto part = [](std::uint32_t n, const std::u16string& s) {
        return std::make_tuple(!s.empty(), n, std::cref(s));
    };
    auto ka = std::make_tuple(part(a.nType, a.sType), part(a.nName, a.sName), a.wLanguage);
    auto kb = std::make_tuple(part(b.nType, b.sType), part(b.nName, b.sName), b.wLanguage);
    return ka < kb;
}

std::vector<std::uint8_t> WriteTable(const std::map<ResKey, std::vector<std::uint8_t>>& entries) {
    constexpr std::size_t kHeader = 24, kEntry = 20;
    // Names area, each text once.
    std::vector<std::uint8_t> names;
    std::map<std::u16string, std::uint32_t> nameOffsets;
    auto nameField = [&](std::uint32_t n, const std::u16string& s) -> std::uint32_t {
        if (s.empty()) return n;
        auto [it, fNew] = nameOffsets.emplace(s, static_cast<std::uint32_t>(names.size()));
        if (fNew) {
            names.push_back(static_cast<std::uint8_t>(s.size()));
            names.push_back(static_cast<std::uint8_t>(s.size() >> 8));
            for (char16_t c : s) {
                names.push_back(static_cast<std::uint8_t>(c));
                names.push_back(static_cast<std::uint8_t>(c >> 8));
            }
        }
        return 0x80000000u | it->second;
    };
    std::vector<std::uint8_t> out(kHeader + entries.size() * kEntry);
    std::vector<std::pair<std::uint32_t, std::uint32_t>> fields;
    for (const auto& [key, data] : entries)
        fields.emplace_back(nameField(key.nType, key.sType), nameField(key.nName, key.sName));
    std::size_t offNames = out.size();
    out.insert(out.end(), names.begin(), names.end());
    std::size_t i = 0;
    for (const auto& [key, data] : entries) {
        while (out.size() % 4)
            out.push_back(0);
        std::size_t e = kHeader + i * kEntry;
        if (out.size() + data.size() > 0x7FFFFFF0)
            throw Error("error: the resource table would exceed 2 GB");
        PutU32(out, e, fields[i].first);
        PutU32(out, e + 4, fields[i].second);
        PutU16(out, e + 8, key.wLanguage);
        PutU16(out, e + 10, 0);
        PutU32(out, e + 12, static_cast<std::uint32_t>(out.size()));
        PutU32(out, e + 16, static_cast<std::uint32_t>(data.size()));
        out.insert(out.end(), data.begin(), data.end());
        ++i;
    }
    while (out.size() % 4)
        out.push_back(0);
    PutU32(out, 0, 0x5345524B);
    PutU16(out, 4, 1);
    PutU16(out, 6, 0);
    PutU32(out, 8, static_cast<std::uint32_t>(entries.size()));
    PutU32(out, 12, static_cast<std::uint32_t>(out.size()));
    PutU32(out, 16, static_cast<std::uint32_t>(offNames));
    PutU32(out, 20, static_cast<std::uint32_t>(names.size()));
    return out;
}

bool CompileText(const std::string& path, const std::string& text, const Options& options,
                 Result* result) {
    result->table.clear();
    result->error.clear();
    Preprocessor pp(options);
    try {
        pp.Run(path, text);
        CompileTokens(pp, options, result);
    } catch (const Error& e) {
        result->error = e.what();
        if (result->error.rfind("error:", 0) == 0) result->error = path + ": " + result->error;
        result->table.clear();
    }
    result->dependencies = pp.dependencies();
    return result->error.empty();
}

bool Compile(const std::string& path, const Options& options, Result* result) {
    Preprocessor pp(options);
    std::string text;
    if (!pp.ReadFile(path, &text)) {
        result->table.clear();
        result->dependencies.clear();
        result->error = path + ": error: cannot open the script";
        return false;
    }
    return CompileText(path, text, options, result);
}

std::string EmbedSource(const std::string& tablePath, const std::vector<std::uint8_t>& table,
                        const std::string& scriptName) {
    std::uint64_t h = 0xcbf29ce484222325ull;
    for (std::uint8_t b : table)
        h = (h ^ b) * 0x100000001b3ull;
    char sum[32];
    std::snprintf(sum, sizeof sum, "%016llx", static_cast<unsigned long long>(h));
    std::string path;
    for (char c : tablePath) {
        if (c == '"' || c == '\\') path += '\\';
        path += c;
    }
    std::string s;
    s += "// Generated by kelvano-rc from " + scriptName + "; do not edit.\n";
    s += "// Embeds the resource table (" + std::to_string(table.size()) + " bytes, checksum " +
         sum + ") and the note by which host/resource finds it in this module.\n";
    s += "asm(R\"KELVANO_RC(\n";
    s += "    .pushsection .rodata.kelvano_resources,\"a\",%progbits\n";
    s += "    .balign 16\n";
    s += ".Lkelvano_resources_begin:\n";
    s += "    .incbin \"" + path + "\"\n";
    s += ".Lkelvano_resources_end:\n";
    s += "    .popsection\n";
    s += "    .pushsection .note.kelvano.resources,\"a\",%note\n";
    s += "    .balign 4\n";
    s += "    .long 8\n";
    s += "    .long 8\n";
    s += "    .long 0x5345524B\n";
    s += "    .asciz \"Kelvano\"\n";
    s += "    .long .Lkelvano_resources_begin - .\n";
    s += "    .long .Lkelvano_resources_end - .Lkelvano_resources_begin\n";
    s += "    .popsection\n";
    s += ")KELVANO_RC\");\n";
    return s;
}

std::string DepFile(const std::string& target, const std::vector<std::string>& dependencies) {
    auto esc = [](const std::string& p) {
        std::string o;
        for (char c : p) {
            if (c == ' ' || c == '#' || c == '\\') o += '\\';
            if (c == '$') o += '$';
            o += c;
        }
        return o;
    };
    std::string s = esc(target) + ":";
    for (const auto& d : dependencies)
        s += " \\\n  " + esc(d);
    return s + "\n";
}

} // namespace rc
