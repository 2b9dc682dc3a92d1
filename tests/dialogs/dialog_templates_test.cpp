// Reads the compiled dialog templates back out of the program's resources and
// checks every field, so a slip in the .rc (or in how windres compiles it)
// shows here and not as a subtly different dialog.
#include <windows.h>

#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#include "resources/resource_ids.h"

namespace {

struct Item {
    DWORD helpId, exStyle, style;
    short x, y, cx, cy;
    DWORD id;
    std::string className, text;
    WORD extraBytes;
};

struct Template {
    WORD version, signature;
    DWORD helpId, exStyle, style;
    short x, y, cx, cy;
    std::string menu, className, caption;
    WORD pointSize, weight;
    BYTE italic, charset;
    std::string typeface;
    std::vector<Item> items;
};

class Reader {
public:
    explicit Reader(const BYTE* start) : start_(start), at_(start) {}
    template <typename T>
    T Take() {
        T value;
        std::memcpy(&value, at_, sizeof value);
        at_ += sizeof value;
        return value;
    }
    std::string String() {
        std::string out;
        for (WCHAR c; (c = Take<WCHAR>()) != 0;) out += static_cast<char>(c);
        return out;
    }
    // A name or an ordinal; the predefined classes' ordinals become their names.
    std::string NameOrOrdinal() {
        WORD first;
        std::memcpy(&first, at_, sizeof first);
        if (first != 0xFFFF) return String();
        at_ += 2;
        switch (WORD ordinal = Take<WORD>()) {
        case 0x80: return "BUTTON";
        case 0x81: return "EDIT";
        case 0x82: return "STATIC";
        case 0x83: return "LISTBOX";
        default: return "#" + std::to_string(ordinal);
        }
    }
    void AlignToDword() {
        while ((at_ - start_) % 4) ++at_;
    }
    size_t Offset() const { return static_cast<size_t>(at_ - start_); }

private:
    const BYTE* start_;
    const BYTE* at_;
};

std::string Upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

// Only the United States English version counts: that is the one the module ships.
Template LoadTemplate(int id) {
    HMODULE self = GetModuleHandleA(nullptr);
    HRSRC found = FindResourceExA(self, MAKEINTRESOURCEA(5) /* RT_DIALOG */, MAKEINTRESOURCEA(id),
                                  MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
    EXPECT_TRUE(found) << "no English (United States) dialog " << id;
    Template t{};
    if (!found) return t;
    Reader r(static_cast<const BYTE*>(LockResource(LoadResource(self, found))));
    t.version = r.Take<WORD>();
    t.signature = r.Take<WORD>();
    t.helpId = r.Take<DWORD>();
    t.exStyle = r.Take<DWORD>();
    t.style = r.Take<DWORD>();
    const WORD count = r.Take<WORD>();
    t.x = r.Take<short>();
    t.y = r.Take<short>();
    t.cx = r.Take<short>();
    t.cy = r.Take<short>();
    t.menu = r.NameOrOrdinal();
    t.className = r.NameOrOrdinal();
    t.caption = r.String();
    if (t.style & DS_SETFONT) {
        t.pointSize = r.Take<WORD>();
        t.weight = r.Take<WORD>();
        t.italic = r.Take<BYTE>();
        t.charset = r.Take<BYTE>();
        t.typeface = r.String();
    }
    for (WORD i = 0; i < count; ++i) {
        r.AlignToDword();
        Item item{};
        item.helpId = r.Take<DWORD>();
        item.exStyle = r.Take<DWORD>();
        item.style = r.Take<DWORD>();
        item.x = r.Take<short>();
        item.y = r.Take<short>();
        item.cx = r.Take<short>();
        item.cy = r.Take<short>();
        item.id = r.Take<DWORD>();
        item.className = Upper(r.NameOrOrdinal());
        item.text = r.NameOrOrdinal();
        item.extraBytes = r.Take<WORD>();
        t.items.push_back(item);
    }
    EXPECT_LE(r.Offset(), SizeofResource(self, found)) << "the template runs past its resource";
    return t;
}

struct ExpectedItem {
    DWORD id;
    const char* className;
    const char* text;
    DWORD style;
    short x, y, cx, cy;
};

void ExpectHeader(const Template& t, DWORD style, short cx, short cy, const char* caption) {
    EXPECT_EQ(1, t.version);
    EXPECT_EQ(0xFFFF, t.signature) << "not an extended template";
    EXPECT_EQ(0u, t.helpId);
    EXPECT_EQ(static_cast<DWORD>(WS_EX_TOOLWINDOW), t.exStyle);
    EXPECT_EQ(style, t.style) << std::hex << t.style;
    EXPECT_EQ(0, t.x);
    EXPECT_EQ(0, t.y);
    EXPECT_EQ(cx, t.cx);
    EXPECT_EQ(cy, t.cy);
    EXPECT_EQ("", t.menu);
    EXPECT_EQ("", t.className);
    EXPECT_EQ(caption, t.caption);
    EXPECT_EQ(8, t.pointSize);
    EXPECT_EQ(0, t.weight);
    EXPECT_EQ(0, t.italic);
    EXPECT_EQ(DEFAULT_CHARSET, t.charset);
    EXPECT_EQ("MS Sans Serif", t.typeface);
}

void ExpectItems(const Template& t, const std::vector<ExpectedItem>& expected) {
    ASSERT_EQ(expected.size(), t.items.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE("item " + std::to_string(i + 1));
        const Item& got = t.items[i];
        const ExpectedItem& want = expected[i];
        EXPECT_EQ(want.id, got.id);
        EXPECT_EQ(want.className, got.className);
        EXPECT_EQ(want.text, got.text);
        EXPECT_EQ(want.style, got.style) << std::hex << got.style;
        EXPECT_EQ(want.x, got.x);
        EXPECT_EQ(want.y, got.y);
        EXPECT_EQ(want.cx, got.cx);
        EXPECT_EQ(want.cy, got.cy);
        EXPECT_EQ(0u, got.helpId);
        EXPECT_EQ(0u, got.exStyle);
        EXPECT_EQ(0, got.extraBytes);
    }
}

// Every control is a visible child that the Tab key reaches.
constexpr DWORD kControl = WS_CHILD | WS_VISIBLE | WS_TABSTOP;

TEST(DialogTemplates, ManagerMatchesItsTable) {
    const Template t = LoadTemplate(IDD_TIPS);
    ExpectHeader(t, WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT, 206, 185,
                 "Tips");
    ExpectItems(
        t, {
               {1, "BUTTON", "OK", kControl | BS_DEFPUSHBUTTON, 1, 169, 50, 14},
               {2, "BUTTON", "Cancel", kControl | BS_PUSHBUTTON, 155, 169, 50, 14},
               {1000, "LISTBOX", "",
                kControl | WS_BORDER | WS_VSCROLL | WS_HSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT |
                    LBS_EXTENDEDSEL,
                1, 0, 203, 152},
               {1001, "BUTTON", "Add Tip", kControl | BS_PUSHBUTTON, 1, 154, 66, 14},
               {1002, "BUTTON", "Remove Tip(s)", kControl | BS_PUSHBUTTON, 139, 154, 66, 14},
               {1003, "BUTTON", "Edit Tip(s)", kControl | BS_PUSHBUTTON, 70, 154, 66, 14},
           });
}

TEST(DialogTemplates, EditorMatchesItsTable) {
    const Template t = LoadTemplate(IDD_TIP_EDIT);
    ExpectHeader(t, WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | DS_SETFONT, 186, 23, "");
    ExpectItems(
        t, {
               {1, "BUTTON", "OK", kControl | BS_DEFPUSHBUTTON, 0, 13, 93, 10},
               {2, "BUTTON", "Cancel", kControl | BS_PUSHBUTTON, 93, 13, 93, 10},
               {1002, "EDIT", "", kControl | WS_BORDER | ES_LEFT | ES_AUTOHSCROLL, 0, 0, 186, 12},
           });
}

}  // namespace
