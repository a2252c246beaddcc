// Dialog template 107 and logo bitmap 105 as stored in the built plug-in: the
// resource is read from the file loaded as data, and every field is compared
// with the layout the dialog is drawn to.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <stdint.h>
#include <string.h>
#include <stdio.h>
#include <wctype.h>

#include <string>
#include <vector>

#include "support/TestEnv.h"
#include "support/TestHost.h"

namespace {

constexpr WORD kRussian = 1049;  // MAKELANGID(LANG_RUSSIAN, SUBLANG_DEFAULT)
constexpr uint32_t kNoId = 0xFFFFFFFFu;
constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;

enum ControlClass { CLS_BUTTON, CLS_EDIT, CLS_STATIC, CLS_COMBOBOX, CLS_UPDOWN };

// The ordinal a resource compiler writes for a predefined class (-1: none)
// and the equivalent class name.
struct ClassName {
    int ordinal;
    const wchar_t* name;
};
const ClassName kClassNames[] = {
    {0x80, L"Button"}, {0x81, L"Edit"}, {0x82, L"Static"}, {0x85, L"ComboBox"}, {-1, L"msctls_updown32"},
};

enum TextKind { TEXT_EXACT, TEXT_ORDINAL, TEXT_ANY_LINE };

struct ExpectedControl {
    uint32_t id;
    ControlClass cls;
    TextKind textKind;
    const wchar_t* text;  // TEXT_EXACT
    int ordinal;          // TEXT_ORDINAL
    short x, y, cx, cy;
    DWORD style;
};

constexpr DWORD kGroupBox = kChild | BS_GROUPBOX;
constexpr DWORD kDropList = kChild | CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP;
constexpr DWORD kNumberEdit = kChild | ES_NUMBER | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP;
constexpr DWORD kUpDown = kChild | UDS_AUTOBUDDY | UDS_SETBUDDYINT | UDS_ALIGNRIGHT | UDS_ARROWKEYS |
                          UDS_NOTHOUSANDS | UDS_HOTTRACK;
constexpr DWORD kLabel = kChild | SS_LEFTNOWORDWRAP | WS_GROUP;
constexpr DWORD kStatusField = kChild | SS_CENTER | SS_SUNKEN | WS_GROUP;

// The 28 controls in template (creation and tab) order.
const ExpectedControl kControls[] = {
    // "Выход"
    {1000, CLS_BUTTON, TEXT_EXACT, L"\u0412\u044b\u0445\u043e\u0434", 0, 196, 142, 60, 14,
     kChild | BS_DEFPUSHBUTTON | WS_TABSTOP},
    // "WDM устройство видеозахвата"
    {kNoId, CLS_BUTTON, TEXT_EXACT,
     L"WDM \u0443\u0441\u0442\u0440\u043e\u0439\u0441\u0442\u0432\u043e "
     L"\u0432\u0438\u0434\u0435\u043e\u0437\u0430\u0445\u0432\u0430\u0442\u0430",
     0, 4, 2, 217, 32, kGroupBox},
    {1001, CLS_COMBOBOX, TEXT_EXACT, L"", 0, 10, 14, 205, 47, kDropList},
    // "Тайминги пульта ДУ"
    {kNoId, CLS_BUTTON, TEXT_EXACT,
     L"\u0422\u0430\u0439\u043c\u0438\u043d\u0433\u0438 \u043f\u0443\u043b\u044c\u0442\u0430 \u0414\u0423", 0,
     4, 35, 155, 61, kGroupBox},
    {1002, CLS_EDIT, TEXT_EXACT, L"", 0, 120, 45, 32, 13, kNumberEdit},
    {1003, CLS_UPDOWN, TEXT_EXACT, L"Spin1", 0, 144, 45, 11, 13, kUpDown},
    {1004, CLS_EDIT, TEXT_EXACT, L"", 0, 120, 61, 32, 13, kNumberEdit},
    {1005, CLS_UPDOWN, TEXT_EXACT, L"Spin1", 0, 144, 61, 11, 13, kUpDown},
    {1006, CLS_EDIT, TEXT_EXACT, L"", 0, 120, 77, 32, 13, kNumberEdit},
    {1007, CLS_UPDOWN, TEXT_EXACT, L"Spin1", 0, 144, 77, 11, 13, kUpDown},
    // "Задержка перед повтором (мс)"
    {kNoId, CLS_STATIC, TEXT_EXACT,
     L"\u0417\u0430\u0434\u0435\u0440\u0436\u043a\u0430 \u043f\u0435\u0440\u0435\u0434 "
     L"\u043f\u043e\u0432\u0442\u043e\u0440\u043e\u043c (\u043c\u0441)",
     0, 10, 47, 106, 8, kLabel},
    // "Интервал автоповтора (мс)"
    {kNoId, CLS_STATIC, TEXT_EXACT,
     L"\u0418\u043d\u0442\u0435\u0440\u0432\u0430\u043b "
     L"\u0430\u0432\u0442\u043e\u043f\u043e\u0432\u0442\u043e\u0440\u0430 (\u043c\u0441)",
     0, 10, 63, 106, 8, kLabel | SS_NOPREFIX},
    // "Время отжатия кнопки (мс)"
    {kNoId, CLS_STATIC, TEXT_EXACT,
     L"\u0412\u0440\u0435\u043c\u044f \u043e\u0442\u0436\u0430\u0442\u0438\u044f "
     L"\u043a\u043d\u043e\u043f\u043a\u0438 (\u043c\u0441)",
     0, 10, 79, 106, 8, kLabel},
    // "Статус пульта ДУ"
    {kNoId, CLS_BUTTON, TEXT_EXACT,
     L"\u0421\u0442\u0430\u0442\u0443\u0441 \u043f\u0443\u043b\u044c\u0442\u0430 \u0414\u0423", 0, 165, 35, 90,
     61, kGroupBox},
    // "Статус"
    {kNoId, CLS_STATIC, TEXT_EXACT, L"\u0421\u0442\u0430\u0442\u0443\u0441", 0, 171, 79, 26, 8, kLabel},
    // "Код"
    {kNoId, CLS_STATIC, TEXT_EXACT, L"\u041a\u043e\u0434", 0, 171, 47, 26, 8, kLabel},
    // "Кнопка"
    {kNoId, CLS_STATIC, TEXT_EXACT, L"\u041a\u043d\u043e\u043f\u043a\u0430", 0, 171, 63, 26, 8, kLabel},
    // "Отжата"
    {1008, CLS_STATIC, TEXT_EXACT, L"\u041e\u0442\u0436\u0430\u0442\u0430", 0, 201, 78, 48, 11, kStatusField},
    {1009, CLS_STATIC, TEXT_EXACT, L"", 0, 201, 46, 48, 11, kStatusField},
    {1010, CLS_STATIC, TEXT_EXACT, L"", 0, 201, 62, 48, 11, kStatusField},
    // "Привязки кнопок пульта ДУ"
    {kNoId, CLS_BUTTON, TEXT_EXACT,
     L"\u041f\u0440\u0438\u0432\u044f\u0437\u043a\u0438 \u043a\u043d\u043e\u043f\u043e\u043a "
     L"\u043f\u0443\u043b\u044c\u0442\u0430 \u0414\u0423",
     0, 4, 98, 252, 40, kGroupBox},
    {1012, CLS_COMBOBOX, TEXT_EXACT, L"", 0, 10, 118, 78, 122, kDropList},
    {1013, CLS_COMBOBOX, TEXT_EXACT, L"", 0, 96, 118, 154, 122, kDropList},
    // "Кнопка"
    {kNoId, CLS_STATIC, TEXT_EXACT, L"\u041a\u043d\u043e\u043f\u043a\u0430", 0, 10, 108, 76, 8, kLabel},
    // "Команда, отправляемая в Nimbrel"
    {kNoId, CLS_STATIC, TEXT_EXACT,
     L"\u041a\u043e\u043c\u0430\u043d\u0434\u0430, "
     L"\u043e\u0442\u043f\u0440\u0430\u0432\u043b\u044f\u0435\u043c\u0430\u044f \u0432 Nimbrel",
     0, 96, 109, 149, 8, kLabel},
    // "По умолчанию"
    {1011, CLS_BUTTON, TEXT_EXACT, L"\u041f\u043e \u0443\u043c\u043e\u043b\u0447\u0430\u043d\u0438\u044e", 0, 4,
     142, 60, 14, kChild | BS_PUSHBUTTON | WS_TABSTOP},
    {kNoId, CLS_STATIC, TEXT_ORDINAL, nullptr, 105, 229, 9, 23, 21, kChild | SS_BITMAP | SS_SUNKEN},
    {1014, CLS_STATIC, TEXT_ANY_LINE, nullptr, 0, 73, 145, 113, 9, kChild | SS_CENTER | WS_GROUP},
};

// "Настройка плагина VantorixRC"
const wchar_t kCaption[] = L"\u041d\u0430\u0441\u0442\u0440\u043e\u0439\u043a\u0430 "
                           L"\u043f\u043b\u0430\u0433\u0438\u043d\u0430 VantorixRC";

// A string or an ordinal, as resource templates store names, classes and texts.
struct NameOrOrdinal {
    bool isOrdinal = false;
    int ordinal = 0;
    std::wstring text;
};

// Sequential reader over a resource; any read past the end marks it failed.
class TemplateReader {
public:
    TemplateReader(const uint8_t* data, size_t size) : base_(data), size_(size) {}
    bool ok() const { return ok_; }

    uint16_t Word()
    {
        uint16_t v = 0;
        Read(&v, 2);
        return v;
    }
    uint32_t Dword()
    {
        uint32_t v = 0;
        Read(&v, 4);
        return v;
    }
    uint8_t Byte()
    {
        uint8_t v = 0;
        Read(&v, 1);
        return v;
    }
    int16_t Short() { return static_cast<int16_t>(Word()); }
    std::wstring String()
    {
        std::wstring s;
        for (;;) {
            const uint16_t c = Word();
            if (!ok_ || c == 0)
                return s;
            s.push_back(static_cast<wchar_t>(c));
        }
    }
    NameOrOrdinal Name()
    {
        NameOrOrdinal n;
        const uint16_t first = Word();
        if (first == 0xFFFF) {
            n.isOrdinal = true;
            n.ordinal = Word();
        } else if (first != 0) {
            n.text.push_back(static_cast<wchar_t>(first));
            n.text += String();
        }
        return n;
    }
    void AlignDword() { offset_ = (offset_ + 3) & ~size_t(3); }
    void Skip(size_t n)
    {
        if (offset_ + n > size_)
            ok_ = false;
        offset_ += n;
    }

private:
    void Read(void* out, size_t n)
    {
        if (!ok_ || offset_ + n > size_) {
            ok_ = false;
            return;
        }
        memcpy(out, base_ + offset_, n);
        offset_ += n;
    }
    const uint8_t* base_;
    size_t size_;
    size_t offset_ = 0;
    bool ok_ = true;
};

bool SameClassName(const std::wstring& a, const wchar_t* b)
{
    if (a.size() != wcslen(b))
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (towlower(a[i]) != towlower(b[i]))
            return false;
    }
    return true;
}

std::string Narrow(const std::wstring& s)
{
    std::string out;
    for (wchar_t c : s) {
        if (c < 128) {
            out.push_back(static_cast<char>(c));
        } else {
            char hex[12];
            snprintf(hex, sizeof hex, "\\u%04x", static_cast<unsigned>(c));
            out += hex;
        }
    }
    return out;
}

std::string ControlLine(uint32_t id, const std::string& cls, const std::string& text, short x, short y, short cx,
                        short cy, uint32_t style, uint32_t exStyle)
{
    char line[512];
    snprintf(line, sizeof line, "id %d %s %s at %d,%d %dx%d style 0x%08X exstyle 0x%X", static_cast<int>(id),
             cls.c_str(), text.c_str(), x, y, cx, cy, static_cast<unsigned>(style), static_cast<unsigned>(exStyle));
    return line;
}

class PluginResources : public ::testing::Test {
protected:
    void SetUp() override
    {
        module = LoadLibraryExA(PluginPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(module, nullptr) << PluginPath();
    }
    void TearDown() override
    {
        if (module)
            FreeLibrary(module);
    }

    // The bytes of a resource in the given language; empty if it is missing.
    std::vector<uint8_t> Resource(LPCSTR type, int id, WORD language)
    {
        std::vector<uint8_t> bytes;
        HRSRC info = FindResourceExA(module, type, MAKEINTRESOURCEA(id), language);
        if (!info)
            return bytes;
        HGLOBAL loaded = LoadResource(module, info);
        const void* data = loaded ? LockResource(loaded) : nullptr;
        const DWORD size = SizeofResource(module, info);
        if (data && size)
            bytes.assign(static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + size);
        return bytes;
    }

    BoxWatcher boxes;
    HMODULE module = nullptr;
};

}  // namespace

TEST_F(PluginResources, SetupDialogTemplateMatchesTheLayoutFieldByField)
{
    const std::vector<uint8_t> bytes = Resource(RT_DIALOG, 107, kRussian);
    ASSERT_FALSE(bytes.empty()) << "no Russian dialog 107";
    TemplateReader r(bytes.data(), bytes.size());

    // Extended template header.
    EXPECT_EQ(r.Word(), 1) << "dlgVer";
    EXPECT_EQ(r.Word(), 0xFFFF) << "signature of an extended template";
    r.Dword();  // help id
    EXPECT_EQ(r.Dword(), 0x00000080u) << "extended style";
    EXPECT_EQ(r.Dword(), 0x00C008C0u) << "style";
    const uint16_t count = r.Word();
    EXPECT_EQ(count, 28);
    EXPECT_EQ(r.Short(), 0);
    EXPECT_EQ(r.Short(), 0);
    EXPECT_EQ(r.Short(), 260);
    EXPECT_EQ(r.Short(), 160);
    const NameOrOrdinal menu = r.Name();
    EXPECT_TRUE(!menu.isOrdinal && menu.text.empty()) << "menu";
    const NameOrOrdinal windowClass = r.Name();
    EXPECT_TRUE(!windowClass.isOrdinal && windowClass.text.empty()) << "dialog class";
    EXPECT_EQ(Narrow(r.String()), Narrow(kCaption));
    EXPECT_EQ(r.Word(), 8) << "point size";
    EXPECT_EQ(r.Word(), 0) << "weight";
    EXPECT_EQ(r.Byte(), 0) << "italic";
    EXPECT_EQ(r.Byte(), 1) << "character set";
    EXPECT_EQ(Narrow(r.String()), "Tahoma");
    ASSERT_TRUE(r.ok());

    // Each control as one line of text, so a difference shows control and field.
    std::vector<std::string> expected, actual;
    for (const ExpectedControl& e : kControls) {
        std::string text;
        if (e.textKind == TEXT_EXACT)
            text = "\"" + Narrow(e.text) + "\"";
        else if (e.textKind == TEXT_ORDINAL)
            text = "#" + std::to_string(e.ordinal);
        else
            text = "<one line>";
        expected.push_back(ControlLine(e.id, Narrow(kClassNames[e.cls].name), text, e.x, e.y, e.cx, e.cy, e.style, 0));
    }
    for (uint16_t i = 0; i < count && r.ok(); ++i) {
        r.AlignDword();
        r.Dword();  // help id
        const uint32_t exStyle = r.Dword();
        const uint32_t style = r.Dword();
        const short x = r.Short(), y = r.Short(), cx = r.Short(), cy = r.Short();
        const uint32_t id = r.Dword();
        const NameOrOrdinal cls = r.Name();
        const NameOrOrdinal title = r.Name();
        r.Skip(r.Word());  // creation data

        // A predefined class may be written as its ordinal or its name.
        std::string className = cls.isOrdinal ? "ordinal " + std::to_string(cls.ordinal) : Narrow(cls.text);
        for (const ClassName& known : kClassNames) {
            if ((cls.isOrdinal && cls.ordinal == known.ordinal) || (!cls.isOrdinal && SameClassName(cls.text, known.name)))
                className = Narrow(known.name);
        }
        std::string text;
        if (title.isOrdinal)
            text = "#" + std::to_string(title.ordinal);
        else if (id == 1014 && !title.text.empty() && title.text.find_first_of(L"\r\n") == std::wstring::npos)
            text = "<one line>";  // its wording is free
        else
            text = "\"" + Narrow(title.text) + "\"";
        actual.push_back(ControlLine(id, className, text, x, y, cx, cy, style, exStyle));
    }
    EXPECT_TRUE(r.ok()) << "template ends early";
    EXPECT_EQ(actual, expected);
}

TEST_F(PluginResources, LogoBitmapIs32By32With8BitsPerPixel)
{
    HRSRC info = FindResourceA(module, MAKEINTRESOURCEA(105), RT_BITMAP);
    ASSERT_NE(info, nullptr);
    HGLOBAL loaded = LoadResource(module, info);
    ASSERT_NE(loaded, nullptr);
    const auto* header = static_cast<const BITMAPINFOHEADER*>(LockResource(loaded));
    ASSERT_NE(header, nullptr);
    ASSERT_GE(SizeofResource(module, info), sizeof(BITMAPINFOHEADER));
    EXPECT_EQ(header->biSize, sizeof(BITMAPINFOHEADER));
    EXPECT_EQ(header->biWidth, 32);
    EXPECT_EQ(header->biHeight < 0 ? -header->biHeight : header->biHeight, 32);
    EXPECT_EQ(header->biBitCount, 8);
    EXPECT_EQ(header->biPlanes, 1);
}
