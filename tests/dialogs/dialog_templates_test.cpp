// Reads the compiled dialog templates back out of the program's resources and
// checks every field, so a slip in the .rc (or in how windres compiles it)
// shows here and not as a subtly different dialog.
#include <windows.h>

#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "resources/resource_ids.h"

namespace {

// The fixed fields of DLGTEMPLATEEX, of its font and of DLGITEMTEMPLATEEX, laid
// out as the resource holds them.
#pragma pack(push, 1)
struct Header {
    WORD version, signature;
    DWORD helpId, exStyle, style;
    WORD count;
    short x, y, cx, cy;
};
struct Font {
    WORD pointSize, weight;
    BYTE italic, charset;
};
struct ItemHeader {
    DWORD helpId, exStyle, style;
    short x, y, cx, cy;
    DWORD id;
};
#pragma pack(pop)

struct Item : ItemHeader {
    std::string className, text;
    WORD extraBytes;
};

struct Template : Header, Font {
    std::string menu, className, caption, typeface;
    std::vector<Item> items;
};

// The fields as one value that GoogleTest compares and prints whole.
auto Fields(const Header& h) {
    return std::make_tuple(h.version, h.signature, h.helpId, h.exStyle, h.style, h.x, h.y, h.cx,
                           h.cy);
}
auto Fields(const Font& f) {
    return std::make_tuple(f.pointSize, f.weight, f.italic, f.charset);
}
auto Fields(const Item& i) {
    return std::make_tuple(i.helpId, i.exStyle, i.style, i.x, i.y, i.cx, i.cy, i.id, i.className,
                           i.text, i.extraBytes);
}

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

// Only the United States English version counts: that is the one the module ships.
Template LoadTemplate(int id) {
    HMODULE self = GetModuleHandleA(nullptr);
    HRSRC found = FindResourceExA(self, MAKEINTRESOURCEA(5) /* RT_DIALOG */, MAKEINTRESOURCEA(id),
                                  MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
    EXPECT_TRUE(found) << "no English (United States) dialog " << id;
    Template t{};
    if (!found) return t;
    Reader r(static_cast<const BYTE*>(LockResource(LoadResource(self, found))));
    static_cast<Header&>(t) = r.Take<Header>();
    t.menu = r.NameOrOrdinal();
    t.className = r.NameOrOrdinal();
    t.caption = r.String();
    if (t.style & DS_SETFONT) {
        static_cast<Font&>(t) = r.Take<Font>();
        t.typeface = r.String();
    }
    for (WORD i = 0; i < t.count; ++i) {
        r.AlignToDword();
        Item item{};
        static_cast<ItemHeader&>(item) = r.Take<ItemHeader>();
        item.className = r.NameOrOrdinal();
        for (char& c : item.className)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
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

// The signature 0xFFFF marks an extended template.
void ExpectTemplate(int id, DWORD style, short cx, short cy, const char* caption,
                    const std::vector<ExpectedItem>& expected) {
    const Template t = LoadTemplate(id);
    EXPECT_EQ(Fields(Header{1, 0xFFFF, 0, WS_EX_TOOLWINDOW, style, 0, 0, 0, cx, cy}),
              Fields(static_cast<const Header&>(t)));
    EXPECT_EQ(Fields(Font{8, 0, 0, DEFAULT_CHARSET}), Fields(static_cast<const Font&>(t)));
    EXPECT_EQ((std::vector<std::string>{"", "", caption, "MS Sans Serif"}),
              (std::vector<std::string>{t.menu, t.className, t.caption, t.typeface}));
    ASSERT_EQ(expected.size(), t.items.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        const ExpectedItem& w = expected[i];
        EXPECT_EQ(Fields(Item{{0, 0, w.style, w.x, w.y, w.cx, w.cy, w.id}, w.className, w.text, 0}),
                  Fields(t.items[i]))
            << "item " << i + 1;
    }
}

// Every control is a visible child that the Tab key reaches.
constexpr DWORD kControl = WS_CHILD | WS_VISIBLE | WS_TABSTOP;

TEST(DialogTemplates, ManagerMatchesItsTable) {
    ExpectTemplate(
        IDD_TIPS, WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT, 206, 185, "Tips",
        {
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
    ExpectTemplate(
        IDD_TIP_EDIT, WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | DS_SETFONT, 186, 23, "",
        {
            {1, "BUTTON", "OK", kControl | BS_DEFPUSHBUTTON, 0, 13, 93, 10},
            {2, "BUTTON", "Cancel", kControl | BS_PUSHBUTTON, 93, 13, 93, 10},
            {1002, "EDIT", "", kControl | WS_BORDER | ES_LEFT | ES_AUTOHSCROLL, 0, 0, 186, 12},
        });
}

}  // namespace
