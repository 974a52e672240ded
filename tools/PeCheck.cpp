// Reads the built Lumenhop.exe and checks what Windows will see of it: a 32-bit GUI program
// that imports only system DLLs, and a resource directory holding exactly the program's
// resources in US English. The dialog templates, the menu and the accelerators are compared
// with those the substitute serves to the unit tests, so both stay the same; the tray icons are
// decoded and checked pixel by pixel.
//
//   lumenhop_pecheck PATH/Lumenhop.exe     prints what it checked; exit 1 on any difference
#include "platform/substitute/Substitute.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

std::vector<uint8_t> Image;
int Failures = 0;

void Fail(const std::string& what) {
    std::printf("FAIL %s\n", what.c_str());
    ++Failures;
}

void Expect(bool ok, const std::string& what) {
    if (!ok) Fail(what);
}

uint32_t Read(size_t offset, int bytes) {
    if (offset + static_cast<size_t>(bytes) > Image.size()) {
        Fail("read past the end of the file at " + std::to_string(offset));
        return 0;
    }
    uint32_t value = 0;
    for (int i = bytes - 1; i >= 0; --i) value = (value << 8) | Image[offset + static_cast<size_t>(i)];
    return value;
}
uint32_t U8(size_t offset) { return Read(offset, 1); }
uint32_t U16(size_t offset) { return Read(offset, 2); }
uint32_t U32(size_t offset) { return Read(offset, 4); }

struct Section {
    uint32_t virtualAddress, virtualSize, rawOffset, rawSize;
};
std::vector<Section> Sections;

size_t FileOffset(uint32_t rva) {
    for (const Section& s : Sections)
        if (rva >= s.virtualAddress && rva < s.virtualAddress + std::max(s.virtualSize, s.rawSize))
            return rva - s.virtualAddress + s.rawOffset;
    Fail("address " + std::to_string(rva) + " lies in no section");
    return Image.size();
}

std::string AsciiAt(size_t offset) {
    std::string text;
    while (offset < Image.size() && Image[offset] != 0) text.push_back(static_cast<char>(Image[offset++]));
    return text;
}

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// UTF-16 text that is plain ASCII here; anything else shows as '?'.
std::string WideAt(size_t& offset) {
    std::string text;
    for (uint32_t unit; (unit = U16(offset)) != 0 && offset < Image.size(); offset += 2)
        text.push_back(unit < 0x80 ? static_cast<char>(unit) : '?');
    offset += 2;
    return text;
}

// --- Imports ---

void CheckImports(uint32_t importRva) {
    static const std::set<std::string> system = {"kernel32.dll", "user32.dll", "gdi32.dll",   "shell32.dll",
                                                 "advapi32.dll", "pdh.dll",    "msvcrt.dll",  "comctl32.dll"};
    std::vector<std::string> names;
    for (size_t entry = FileOffset(importRva); U32(entry + 12) != 0; entry += 20)
        names.push_back(AsciiAt(FileOffset(U32(entry + 12))));
    std::string list;
    for (auto& name : names) list += " " + name;
    std::printf("imports:%s\n", list.c_str());
    Expect(!names.empty(), "the import table is empty");
    for (auto& name : names) Expect(system.count(Lower(name)) == 1, "imports a DLL that is not the system's: " + name);
}

// --- Resources ---

struct Resource {
    uint32_t type, id, language;
    size_t offset;
    uint32_t size;
};
std::vector<Resource> Resources;

void ReadResourceDirectory(size_t base, uint32_t rsrcRva) {
    auto entries = [&](size_t directory) {
        std::vector<std::pair<uint32_t, uint32_t>> out;
        uint32_t count = U16(directory + 12) + U16(directory + 14);
        for (uint32_t i = 0; i < count; ++i) out.emplace_back(U32(directory + 16 + 8 * i), U32(directory + 20 + 8 * i));
        return out;
    };
    for (auto [type, typeDirectory] : entries(base)) {
        for (auto [id, idDirectory] : entries(base + (typeDirectory & 0x7FFFFFFF))) {
            for (auto [language, dataEntry] : entries(base + (idDirectory & 0x7FFFFFFF))) {
                size_t data = base + dataEntry;
                uint32_t rva = U32(data);
                if ((type | id) & 0x80000000) Fail("a resource has a name instead of a number");
                Resources.push_back(Resource{type, id, language, FileOffset(rva), U32(data + 4)});
                (void)rsrcRva;
            }
        }
    }
}

const Resource* FindResource(uint32_t type, uint32_t id) {
    for (const Resource& r : Resources)
        if (r.type == type && r.id == id) return &r;
    Fail("missing resource type " + std::to_string(type) + " id " + std::to_string(id));
    return nullptr;
}

constexpr uint32_t RtIcon = 3, RtMenu = 4, RtDialog = 5, RtGroupIcon = 14, RtVersion = 16, RtManifest = 24,
                   RtAccelerator = 9;

void CheckResourceSet() {
    std::map<uint32_t, std::set<uint32_t>> expected = {
        {RtMenu, {123}}, {RtAccelerator, {105}}, {RtDialog, {101, 102, 103}},
        {RtGroupIcon, {110, 111, 112, 113, 114}}, {RtVersion, {1}}, {RtManifest, {1}},
    };
    std::map<uint32_t, std::set<uint32_t>> found;
    for (const Resource& r : Resources) {
        Expect(r.language == 0x0409, "resource type " + std::to_string(r.type) + " id " + std::to_string(r.id) +
                                         " has language " + std::to_string(r.language));
        if (r.type != RtIcon) found[r.type].insert(r.id);
    }
    Expect(found == expected, "the resource types and IDs are not exactly the program's");
    std::printf("resources: %zu entries, all checked for language 0x0409\n", Resources.size());
}

// --- Icons ---

struct GroupImage {
    uint32_t width, height, bits, iconId;
};

std::vector<GroupImage> GroupImages(uint32_t group) {
    std::vector<GroupImage> images;
    const Resource* r = FindResource(RtGroupIcon, group);
    if (!r) return images;
    uint32_t count = U16(r->offset + 4);
    for (uint32_t i = 0; i < count; ++i) {
        size_t entry = r->offset + 6 + 14 * i;
        uint32_t w = U8(entry), h = U8(entry + 1);
        images.push_back(GroupImage{w ? w : 256, h ? h : 256, U16(entry + 6), U16(entry + 12)});
    }
    return images;
}

void CheckIconGroups() {
    std::map<uint32_t, std::vector<std::vector<uint32_t>>> expected = {
        {110, {{32, 8}, {16, 8}, {48, 32}, {32, 32}, {16, 32}}},
        {111, {{16, 8}, {16, 32}}},
        {112, {{48, 8}, {48, 32}}},
        {113, {{16, 24}}},
        {114, {{16, 24}}},
    };
    for (auto& [group, images] : expected) {
        std::vector<std::vector<uint32_t>> found;
        for (auto& image : GroupImages(group)) {
            Expect(image.width == image.height, "icon group " + std::to_string(group) + " has a non-square image");
            found.push_back({image.width, image.bits});
            // Every image carries its AND mask: the bitmap header gives twice the height.
            if (const Resource* icon = FindResource(RtIcon, image.iconId)) {
                Expect(U32(icon->offset) == 40 && U32(icon->offset + 8) == 2 * image.height &&
                           U16(icon->offset + 14) == image.bits,
                       "icon " + std::to_string(image.iconId) + " of group " + std::to_string(group) +
                           " is not a bitmap with its mask");
            }
        }
        Expect(found == images, "icon group " + std::to_string(group) + " has other images than the emblem needs");
    }
}

// The tray icon: a 12 x 12 square at (2, 2) with a black border, the interior in `green`, and a
// transparent margin.
void CheckTraySquare(uint32_t group, uint32_t green) {
    auto images = GroupImages(group);
    if (images.size() != 1) return;
    const Resource* icon = FindResource(RtIcon, images[0].iconId);
    if (!icon) return;
    size_t colours = icon->offset + 40;
    size_t mask = colours + 16 * 48;  // 16 rows of 48 bytes
    int wrong = 0;
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 16; ++x) {
            size_t row = static_cast<size_t>(15 - y);
            size_t at = colours + row * 48 + static_cast<size_t>(x) * 3;
            uint32_t b = U8(at), g = U8(at + 1), r = U8(at + 2);
            bool transparent = (U8(mask + row * 4 + static_cast<size_t>(x / 8)) >> (7 - x % 8)) & 1;
            bool inSquare = x >= 2 && x <= 13 && y >= 2 && y <= 13;
            bool border = inSquare && (x == 2 || x == 13 || y == 2 || y == 13);
            if (!inSquare)
                wrong += !transparent;
            else if (border)
                wrong += transparent || r != 0 || g != 0 || b != 0;
            else
                wrong += transparent || r != 0 || g != green || b != 0;
        }
    }
    Expect(wrong == 0, "tray icon " + std::to_string(group) + " has " + std::to_string(wrong) + " wrong pixels");
}

// --- Dialogs, menu, accelerators ---

std::string NameOrOrdinal(size_t& offset, bool classField) {
    uint32_t first = U16(offset);
    if (first == 0xFFFF) {
        uint32_t ordinal = U16(offset + 2);
        offset += 4;
        if (!classField) return "#" + std::to_string(ordinal);
        static const std::map<uint32_t, std::string> classes = {
            {0x80, "BUTTON"}, {0x81, "EDIT"}, {0x82, "STATIC"}, {0x83, "LISTBOX"}, {0x84, "SCROLLBAR"}, {0x85, "COMBOBOX"}};
        auto it = classes.find(ordinal);
        return it == classes.end() ? "#" + std::to_string(ordinal) : it->second;
    }
    std::string text = WideAt(offset);
    if (classField) {
        for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return text;
}

size_t Align4(size_t offset, size_t base) { return base + ((offset - base + 3) & ~size_t{3}); }

void CheckDialog(uint16_t id) {
    const Resource* r = FindResource(RtDialog, id);
    auto wanted = substitute::DialogTemplateResource(id);
    if (!r || !wanted) return;
    std::string where = "dialog " + std::to_string(id) + ": ";
    size_t p = r->offset;
    bool extended = U16(p) == 1 && U16(p + 2) == 0xFFFF;
    Expect(extended == wanted->extended, where + "template form");
    uint32_t style, exStyle, count;
    if (extended) {
        exStyle = U32(p + 8);
        style = U32(p + 12);
        count = U16(p + 16);
        p += 18;
    } else {
        style = U32(p);
        exStyle = U32(p + 4);
        count = U16(p + 8);
        p += 10;
    }
    int x = static_cast<int16_t>(U16(p)), y = static_cast<int16_t>(U16(p + 2));
    int cx = static_cast<int16_t>(U16(p + 4)), cy = static_cast<int16_t>(U16(p + 6));
    p += 8;
    std::string menu = NameOrOrdinal(p, false), windowClass = NameOrOrdinal(p, false), title = WideAt(p);
    Expect(style == wanted->style, where + "style");
    Expect(exStyle == 0 && menu.empty() && windowClass.empty(), where + "extended style, menu or class");
    Expect(x == wanted->x && y == wanted->y && cx == wanted->width && cy == wanted->height, where + "position or size");
    Expect(title == wanted->title, where + "title \"" + title + "\"");
    uint32_t points = U16(p);
    p += 2;
    if (extended) {
        Expect(U16(p) == 0 && U8(p + 2) == 0 && U8(p + 3) == 1, where + "font weight, italic or charset");
        p += 4;
    }
    std::string font = WideAt(p);
    Expect(points == static_cast<uint32_t>(wanted->pointSize) && font == wanted->font, where + "font");
    Expect(count == wanted->controls.size(), where + "number of controls");
    for (uint32_t i = 0; i < count && i < wanted->controls.size(); ++i) {
        const auto& want = wanted->controls[i];
        p = Align4(p, r->offset);
        uint32_t cStyle, cExStyle;
        int id32;
        if (extended) {
            cExStyle = U32(p + 4);
            cStyle = U32(p + 8);
            p += 12;
        } else {
            cStyle = U32(p);
            cExStyle = U32(p + 4);
            p += 8;
        }
        int px = static_cast<int16_t>(U16(p)), py = static_cast<int16_t>(U16(p + 2));
        int pw = static_cast<int16_t>(U16(p + 4)), ph = static_cast<int16_t>(U16(p + 6));
        p += 8;
        if (extended) {
            id32 = static_cast<int32_t>(U32(p));
            p += 4;
        } else {
            id32 = static_cast<int16_t>(U16(p));
            p += 2;
        }
        std::string cls = NameOrOrdinal(p, true), text = NameOrOrdinal(p, false);
        uint32_t extra = U16(p);
        p += 2 + extra;
        std::string control = where + "control " + std::to_string(i + 1) + " (" + text + "): ";
        Expect(cls == want.className, control + "class " + cls);
        Expect(id32 == want.id, control + "ID " + std::to_string(id32));
        Expect(text == want.text, control + "text");
        Expect(cStyle == want.style, control + "style " + std::to_string(cStyle));
        Expect(cExStyle == want.exStyle, control + "extended style");
        Expect(px == want.x && py == want.y && pw == want.width && ph == want.height, control + "position or size");
    }
    std::printf("dialog %u: %u controls compared\n", id, count);
}

void CheckMenu() {
    const Resource* r = FindResource(RtMenu, 123);
    if (!r) return;
    size_t p = r->offset + 4;
    std::vector<std::string> items;
    uint32_t flags = U16(p);
    p += 2;
    std::string popup = WideAt(p);
    Expect((flags & 0x10) && (flags & 0x80) && popup == "POPUP", "menu 123: one top-level popup");
    for (;;) {
        uint32_t itemFlags = U16(p);
        uint32_t id = U16(p + 2);
        p += 4;
        std::string text = WideAt(p);
        items.push_back(text.empty() && id == 0 ? "-" : text + "=" + std::to_string(id));
        Expect((itemFlags & ~0x80u) == 0, "menu 123: an item is grayed, checked or a popup");
        if (itemFlags & 0x80) break;
    }
    std::vector<std::string> wanted = {"About=120", "Settings=121", "-", "Disk Information=32772", "-", "Exit=122"};
    Expect(items == wanted, "menu 123: the items");
}

void CheckAccelerators() {
    const Resource* r = FindResource(RtAccelerator, 105);
    if (!r) return;
    auto wanted = substitute::AcceleratorTable(105);
    Expect(r->size == 8 * wanted.size(), "accelerators 105: number of entries");
    for (size_t i = 0; i < wanted.size() && 8 * i < r->size; ++i) {
        size_t entry = r->offset + 8 * i;
        uint32_t flags = U16(entry) & ~0x80u;
        Expect(flags == wanted[i].flags && U16(entry + 2) == wanted[i].key && U16(entry + 4) == wanted[i].command,
               "accelerators 105: entry " + std::to_string(i + 1));
    }
    Expect(r->size >= 8 && (U16(r->offset + r->size - 8) & 0x80), "accelerators 105: end mark on the last entry");
}

// --- Version block and manifest ---

// Walks the version tree and collects "path" -> value text.
void WalkVersion(size_t node, size_t end, const std::string& path, std::map<std::string, std::string>& values,
                 std::vector<uint32_t>& translation) {
    while (node + 6 < end) {
        uint32_t length = U16(node), valueLength = U16(node + 2), type = U16(node + 4);
        if (length == 0) break;
        size_t p = node + 6;
        std::string key = WideAt(p);
        p = Align4(p, node);
        std::string here = path.empty() ? key : path + "/" + key;
        if (key == "VS_VERSION_INFO") {
            Expect(U32(p) == 0xFEEF04BD, "version: fixed file information signature");
            Expect(U32(p + 8) == 0x00010000 && U32(p + 12) == 2, "version: file version 1.0.0.2");
            Expect(U32(p + 16) == 0x00010000 && U32(p + 20) == 2, "version: product version 1.0.0.2");
            Expect(U32(p + 32) == 4 && U32(p + 36) == 1, "version: 32-bit Windows application");
            p = Align4(p + valueLength, node);
        } else if (type == 1 && valueLength > 0) {
            size_t v = p;
            values[here] = WideAt(v);
            p = Align4(p + 2 * valueLength, node);
        } else if (key == "Translation") {
            for (uint32_t i = 0; i + 2 <= valueLength; i += 2) translation.push_back(U16(p + i));
            p = Align4(p + valueLength, node);
        }
        if (p < node + length) WalkVersion(p, node + length, here, values, translation);
        node = Align4(node + length, node);
    }
}

void CheckVersion() {
    const Resource* r = FindResource(RtVersion, 1);
    if (!r) return;
    std::map<std::string, std::string> values;
    std::vector<uint32_t> translation;
    WalkVersion(r->offset, r->offset + r->size, "", values, translation);
    std::string table = "VS_VERSION_INFO/StringFileInfo/040904b0/";
    Expect(values[table + "FileVersion"] == "1.0.0.2", "version: FileVersion string");
    Expect(values[table + "ProductVersion"] == "1.0.0.2", "version: ProductVersion string");
    Expect(values[table + "InternalName"] == "Lumenhop", "version: InternalName");
    Expect(values[table + "ProductName"] == "Varrowin", "version: ProductName");
    Expect(translation == std::vector<uint32_t>{0x0409, 1200}, "version: translation 0x0409, 1200");
}

void CheckManifest() {
    const Resource* r = FindResource(RtManifest, 1);
    if (!r) return;
    std::string text(Image.begin() + static_cast<long>(r->offset), Image.begin() + static_cast<long>(r->offset + r->size));
    auto has = [&](const std::string& part) { return text.find(part) != std::string::npos; };
    Expect(text.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>", 0) == 0, "manifest: XML declaration");
    Expect(has("xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\""), "manifest: namespace and version");
    Expect(has("name=\"Orvane.Varrowin.Lumenhop.exe\" version=\"5.1.0.0\" processorArchitecture=\"x86\""),
           "manifest: the program's identity");
    Expect(has("<description>Lumenhop</description>"), "manifest: description");
    Expect(has("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\" processorArchitecture=\"x86\" "
               "publicKeyToken=\"6595b64144ccf1df\" language=\"*\""),
           "manifest: the common controls dependency");
    Expect(!has("requestedExecutionLevel") && !has("compatibility") && !has("dpiAware"),
           "manifest: no execution level, compatibility or DPI setting");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s Lumenhop.exe\n", argv[0]);
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    Image.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (Image.size() < 0x200 || U16(0) != 0x5A4D) {
        std::printf("FAIL %s is not an executable\n", argv[1]);
        return 1;
    }
    size_t pe = U32(0x3C);
    Expect(U32(pe) == 0x4550, "PE signature");
    // What the user gets is small: stripped, at most 200 KB.
    Expect(Image.size() <= 200 * 1024, "at most 200 KB, not " + std::to_string(Image.size()) + " bytes");
    Expect(U32(pe + 12) == 0 && U32(pe + 16) == 0, "no symbol table");
    Expect(U16(pe + 4) == 0x14C, "machine is i386");
    uint32_t sectionCount = U16(pe + 6);
    size_t optional = pe + 24;
    Expect(U16(optional) == 0x10B, "a PE32 (32-bit) image");
    Expect(U16(optional + 68) == 2, "subsystem is Windows GUI");
    size_t sections = optional + U16(pe + 20);
    for (uint32_t i = 0; i < sectionCount; ++i) {
        size_t s = sections + 40 * i;
        Sections.push_back(Section{U32(s + 12), U32(s + 8), U32(s + 20), U32(s + 16)});
    }
    size_t directories = optional + 96;
    CheckImports(U32(directories + 8));
    uint32_t rsrc = U32(directories + 16);
    if (rsrc == 0) {
        Fail("no resource directory");
    } else {
        ReadResourceDirectory(FileOffset(rsrc), rsrc);
        CheckResourceSet();
        CheckIconGroups();
        CheckTraySquare(113, 255);
        CheckTraySquare(114, 128);
        for (uint16_t id : {101, 102, 103}) CheckDialog(id);
        CheckMenu();
        CheckAccelerators();
        CheckVersion();
        CheckManifest();
    }
    std::printf(Failures == 0 ? "executable checked: all well\n" : "executable checked: %d problem(s)\n", Failures);
    return Failures == 0 ? 0 : 1;
}
