// Dialog template 107 and logo bitmap 105 as stored in the built plug-in: every
// field compared with the layout the dialog is drawn to.
#include "support/LinkedPlugin.h"

#include <commctrl.h>

#include "ui/resource.h"

constexpr WORD kRussian = 1049;  // MAKELANGID(LANG_RUSSIAN, SUBLANG_DEFAULT)
constexpr uint32_t kNoId = 0xFFFFFFFFu;
constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;

// The ordinal a resource compiler writes for a predefined class (-1: none), and its name.
const std::pair<int, std::string> kClassNames[] = {
    {0x80, "Button"}, {0x81, "Edit"}, {0x82, "Static"}, {0x85, "ComboBox"}, {-1, "msctls_updown32"},
};

// Texts that are no exact string: the logo's ordinal, and a line whose wording is free.
const char kLogoOrdinal[] = "#105";
const char kAnyOneLine[] = "<one line>";

struct ExpectedControl {
    uint32_t id;
    const char *cls, *text;
    short x, y, cx, cy;
    DWORD style;
};

constexpr DWORD kGroupBox = kChild | BS_GROUPBOX;
constexpr DWORD kDropList = kChild | CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP;
constexpr DWORD kNumberEdit = kChild | ES_NUMBER | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP;
constexpr DWORD kUpDown =
    kChild | UDS_AUTOBUDDY | UDS_SETBUDDYINT | UDS_ALIGNRIGHT | UDS_ARROWKEYS | UDS_NOTHOUSANDS | UDS_HOTTRACK;
constexpr DWORD kLabel = kChild | SS_LEFTNOWORDWRAP | WS_GROUP;
constexpr DWORD kStatusField = kChild | SS_CENTER | SS_SUNKEN | WS_GROUP;

// The 28 controls in template (creation and tab) order.
const ExpectedControl kControls[] = {
    {IDC_EXIT, "Button", "Выход", 196, 142, 60, 14, kChild | BS_DEFPUSHBUTTON | WS_TABSTOP},
    {kNoId, "Button", "WDM устройство видеозахвата", 4, 2, 217, 32, kGroupBox},
    {IDC_DEVICE_LIST, "ComboBox", "", 10, 14, 205, 47, kDropList},
    {kNoId, "Button", "Тайминги пульта ДУ", 4, 35, 155, 61, kGroupBox},
    {IDC_DELAY_EDIT, "Edit", "", 120, 45, 32, 13, kNumberEdit},
    {IDC_DELAY_SPIN, "msctls_updown32", "Spin1", 144, 45, 11, 13, kUpDown},
    {IDC_INTERVAL_EDIT, "Edit", "", 120, 61, 32, 13, kNumberEdit},
    {IDC_INTERVAL_SPIN, "msctls_updown32", "Spin1", 144, 61, 11, 13, kUpDown},
    {IDC_RELEASE_EDIT, "Edit", "", 120, 77, 32, 13, kNumberEdit},
    {IDC_RELEASE_SPIN, "msctls_updown32", "Spin1", 144, 77, 11, 13, kUpDown},
    {kNoId, "Static", "Задержка перед повтором (мс)", 10, 47, 106, 8, kLabel},
    {kNoId, "Static", "Интервал автоповтора (мс)", 10, 63, 106, 8, kLabel | SS_NOPREFIX},
    {kNoId, "Static", "Время отжатия кнопки (мс)", 10, 79, 106, 8, kLabel},
    {kNoId, "Button", "Статус пульта ДУ", 165, 35, 90, 61, kGroupBox},
    {kNoId, "Static", "Статус", 171, 79, 26, 8, kLabel},
    {kNoId, "Static", "Код", 171, 47, 26, 8, kLabel},
    {kNoId, "Static", "Кнопка", 171, 63, 26, 8, kLabel},
    {IDC_STATUS_TEXT, "Static", "Отжата", 201, 78, 48, 11, kStatusField},
    {IDC_CODE_TEXT, "Static", "", 201, 46, 48, 11, kStatusField},
    {IDC_BUTTON_TEXT, "Static", "", 201, 62, 48, 11, kStatusField},
    {kNoId, "Button", "Привязки кнопок пульта ДУ", 4, 98, 252, 40, kGroupBox},
    {IDC_BUTTON_LIST, "ComboBox", "", 10, 118, 78, 122, kDropList},
    {IDC_COMMAND_LIST, "ComboBox", "", 96, 118, 154, 122, kDropList},
    {kNoId, "Static", "Кнопка", 10, 108, 76, 8, kLabel},
    {kNoId, "Static", "Команда, отправляемая в Nimbrel", 96, 109, 149, 8, kLabel},
    {IDC_DEFAULTS, "Button", "По умолчанию", 4, 142, 60, 14, kChild | BS_PUSHBUTTON | WS_TABSTOP},
    {kNoId, "Static", kLogoOrdinal, 229, 9, 23, 21, kChild | SS_BITMAP | SS_SUNKEN},
    {IDC_ABOUT_TEXT, "Static", kAnyOneLine, 73, 145, 113, 9, kChild | SS_CENTER | WS_GROUP},
};

// Sequential reader over a resource; any read past the end marks it failed.
struct TemplateReader {
    template <typename T>
    T Get()
    {
        T v = 0;
        ok = ok && at + sizeof v <= bytes.size();
        if (ok)
            memcpy(&v, bytes.data() + at, sizeof v);
        at += sizeof v;
        return v;
    }
    // A string of UTF-16 characters up to its terminator, from its first character c, as UTF-8.
    std::string String(uint16_t c)
    {
        std::wstring s;
        for (; ok && c != 0; c = Get<uint16_t>())
            s.push_back(static_cast<wchar_t>(c));
        char utf8[512] = {};
        WideCharToMultiByte(CP_UTF8, 0, s.c_str(), -1, utf8, sizeof utf8 - 1, nullptr, nullptr);
        return utf8;
    }
    std::string String() { return String(Get<uint16_t>()); }
    // A name, class or text: "#n" for an ordinal, else the string quoted ("" for none).
    std::string Name()
    {
        const uint16_t first = Get<uint16_t>();
        return first == 0xFFFF ? "#" + std::to_string(Get<uint16_t>()) : "\"" + String(first) + "\"";
    }
    void AlignDword() { at = (at + 3) & ~size_t(3); }

    const std::vector<uint8_t>& bytes;
    size_t at = 0;
    bool ok = true;
};

static std::string ControlLine(uint32_t id, const std::string& cls, const std::string& text, short x, short y, short cx,
                               short cy, uint32_t style, uint32_t exStyle)
{
    char line[512];
    snprintf(line, sizeof line, "id %d %s %s at %d,%d %dx%d style 0x%08X exstyle 0x%X", static_cast<int>(id),
             cls.c_str(), text.c_str(), x, y, cx, cy, static_cast<unsigned>(style), static_cast<unsigned>(exStyle));
    return line;
}

// The bytes of a resource of the built plug-in, loaded as data; empty if it is missing.
static std::vector<uint8_t> Resource(LPCSTR type, int id, WORD language)
{
    const HMODULE module = LoadLibraryExA(PluginPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    EXPECT_NE(module, nullptr) << PluginPath();
    HRSRC info = module ? FindResourceExA(module, type, MAKEINTRESOURCEA(id), language) : nullptr;
    HGLOBAL loaded = info ? LoadResource(module, info) : nullptr;
    const auto* data = static_cast<const uint8_t*>(loaded ? LockResource(loaded) : nullptr);
    std::vector<uint8_t> bytes(data, data ? data + SizeofResource(module, info) : data);
    if (module)
        FreeLibrary(module);
    return bytes;
}

TEST(PluginResources, SetupDialogTemplateMatchesTheLayoutFieldByField)
{
    const std::vector<uint8_t> bytes = Resource(RT_DIALOG, IDD_SETUP, kRussian);
    ASSERT_FALSE(bytes.empty()) << "no Russian dialog 107";
    TemplateReader r{bytes};

    EXPECT_EQ(r.Get<uint16_t>(), 1) << "dlgVer";
    EXPECT_EQ(r.Get<uint16_t>(), 0xFFFF) << "signature of an extended template";
    r.Get<uint32_t>();  // help id
    EXPECT_EQ(r.Get<uint32_t>(), 0x00000080u) << "extended style";
    EXPECT_EQ(r.Get<uint32_t>(), 0x00C008C0u) << "style";
    const uint16_t count = r.Get<uint16_t>();
    EXPECT_EQ(count, 28);
    for (const short expected : {0, 0, 260, 160})
        EXPECT_EQ(r.Get<int16_t>(), expected) << "x, y, width, height";
    EXPECT_EQ(r.Name(), "\"\"") << "menu";
    EXPECT_EQ(r.Name(), "\"\"") << "dialog class";
    EXPECT_EQ(r.String(), "Настройка плагина VantorixRC");
    EXPECT_EQ(r.Get<uint16_t>(), 8) << "point size";
    EXPECT_EQ(r.Get<uint16_t>(), 0) << "weight";
    EXPECT_EQ(r.Get<uint8_t>(), 0) << "italic";
    EXPECT_EQ(r.Get<uint8_t>(), 1) << "character set";
    EXPECT_EQ(r.String(), "Tahoma");
    ASSERT_TRUE(r.ok);

    // Each control as one line of text, so a difference shows control and field.
    std::vector<std::string> expected, actual;
    for (const ExpectedControl& e : kControls) {
        const bool exact = e.text != kLogoOrdinal && e.text != kAnyOneLine;
        const std::string text = exact ? "\"" + std::string(e.text) + "\"" : e.text;
        expected.push_back(ControlLine(e.id, e.cls, text, e.x, e.y, e.cx, e.cy, e.style, 0));
    }
    for (uint16_t i = 0; i < count && r.ok; ++i) {
        r.AlignDword();
        r.Get<uint32_t>();  // help id
        const uint32_t exStyle = r.Get<uint32_t>(), style = r.Get<uint32_t>();
        const short x = r.Get<int16_t>(), y = r.Get<int16_t>(), cx = r.Get<int16_t>(), cy = r.Get<int16_t>();
        const uint32_t id = r.Get<uint32_t>();
        std::string className = r.Name(), text = r.Name();
        r.at += r.Get<uint16_t>();  // creation data
        // A predefined class may be written as its ordinal or its name.
        for (const auto& known : kClassNames)
            if (className == "#" + std::to_string(known.first) ||
                _stricmp(className.c_str(), ("\"" + known.second + "\"").c_str()) == 0)
                className = known.second;
        if (id == IDC_ABOUT_TEXT && text.size() > 2 && text[0] == '"' &&
            text.find_first_of("\r\n") == std::string::npos)
            text = kAnyOneLine;
        actual.push_back(ControlLine(id, className, text, x, y, cx, cy, style, exStyle));
    }
    EXPECT_TRUE(r.ok && r.at <= bytes.size()) << "template ends early";
    EXPECT_EQ(actual, expected);
}

TEST(PluginResources, LogoBitmapIs32By32With8BitsPerPixel)
{
    const std::vector<uint8_t> bytes = Resource(RT_BITMAP, IDB_LOGO, LANG_NEUTRAL);
    ASSERT_GE(bytes.size(), sizeof(BITMAPINFOHEADER));
    const auto* header = reinterpret_cast<const BITMAPINFOHEADER*>(bytes.data());
    EXPECT_EQ(header->biSize, sizeof(BITMAPINFOHEADER));
    EXPECT_EQ(header->biWidth, 32);
    EXPECT_EQ(header->biHeight < 0 ? -header->biHeight : header->biHeight, 32);
    EXPECT_EQ(header->biBitCount, 8);
    EXPECT_EQ(header->biPlanes, 1);
}
