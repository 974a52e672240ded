#!/usr/bin/python3
"""Reads the built Lumenhop.exe and checks what Windows will see of it: a 32-bit GUI program that
imports only system DLLs, and a resource directory holding exactly the program's resources in US
English: the tray menu, the accelerators and the dialog templates field by field, the icons (the
tray icons pixel by pixel), the version block and the manifest.

  lumenhop_pecheck PATH/Lumenhop.exe     prints what it checked; exit 1 on any difference
"""
import struct
import sys

import pefile

RT_ICON, RT_MENU, RT_DIALOG, RT_ACCELERATOR, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 4, 5, 9, 14, 16, 24

# Window, button, edit and static styles, as the resource compiler writes them.
WS_POPUP, WS_CHILD, WS_VISIBLE, WS_CAPTION, WS_BORDER = 0x80000000, 0x40000000, 0x10000000, 0xC00000, 0x800000
WS_VSCROLL, WS_SYSMENU, WS_GROUP, WS_TABSTOP = 0x200000, 0x80000, 0x20000, 0x10000
DS_SETFONT, DS_MODALFRAME, DS_CENTER, DS_CENTERMOUSE = 0x40, 0x80, 0x800, 0x1000
BS_DEFPUSHBUTTON, BS_AUTOCHECKBOX, BS_GROUPBOX = 0x1, 0x3, 0x7
ES_MULTILINE, ES_AUTOHSCROLL, ES_READONLY = 0x4, 0x80, 0x800
SS_LEFT, SS_ICON, SS_ETCHEDHORZ, SS_NOPREFIX, SS_REALSIZEIMAGE = 0x0, 0x3, 0x10, 0x80, 0x800
CBS_DROPDOWNLIST = 0x3
IDOK, IDCANCEL = 1, 2

SHOWN = WS_CHILD | WS_VISIBLE
POPUP_DIALOG = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_CENTERMOUSE | DS_SETFONT
STATIC_TEXT = SHOWN | SS_LEFT | WS_GROUP

# Each dialog: extended form, title, style, (x, y, cx, cy), font, point size, and its controls as
# (class, ID, text, style, extended style, (x, y, cx, cy)); "#112" names an icon by ordinal.
DIALOGS = {
    101: (True, "Disk Information", POPUP_DIALOG, (0, 0, 246, 155), "MS Sans Serif", 8, [
        ("BUTTON", IDCANCEL, "Close", SHOWN | WS_TABSTOP, 0, (191, 136, 50, 14)),
        ("EDIT", 1007, "", SHOWN | WS_TABSTOP | WS_BORDER | WS_VSCROLL | ES_MULTILINE | ES_READONLY, 0,
         (7, 7, 232, 124)),
    ]),
    102: (False, "About Varrowin", WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_CENTER | DS_SETFONT, (0, 0, 198, 74),
          "Tahoma", 8, [
        ("STATIC", -1, "#112", SHOWN | SS_ICON | SS_REALSIZEIMAGE, 0, (10, 9, 20, 20)),
        ("STATIC", -1, "Varrowin 1.0", STATIC_TEXT | SS_NOPREFIX, 0, (49, 10, 119, 8)),
        ("STATIC", -1, "Copyright (C) 2006 Orvane", STATIC_TEXT, 0, (49, 21, 144, 8)),
        ("BUTTON", IDOK, "OK", SHOWN | BS_DEFPUSHBUTTON | WS_TABSTOP | WS_GROUP, 0, (142, 53, 49, 15)),
        ("STATIC", -1, "www.orvane.example", STATIC_TEXT, 0, (49, 32, 119, 8)),
        ("STATIC", 1016, "", STATIC_TEXT, 0, (4, 50, 129, 21)),
        ("STATIC", -1, "", SHOWN | SS_ETCHEDHORZ, 0, (0, 46, 197, 1)),
    ]),
    103: (True, "Settings", POPUP_DIALOG, (0, 0, 246, 155), "MS Sans Serif", 8, [
        ("BUTTON", 1000, "Load at Windows Startup", SHOWN | BS_AUTOCHECKBOX | WS_TABSTOP, 0, (16, 72, 124, 10)),
        ("BUTTON", IDOK, "OK", SHOWN | BS_DEFPUSHBUTTON | WS_TABSTOP, 0, (136, 136, 50, 14)),
        ("BUTTON", IDCANCEL, "Cancel", SHOWN | WS_TABSTOP, 0, (191, 136, 50, 14)),
        ("BUTTON", 1019, " Disk Activity ", SHOWN | BS_GROUPBOX, 0, (4, 3, 237, 129)),
        ("STATIC", 1020, "Blink Duration (ms):", STATIC_TEXT, 0, (16, 57, 108, 9)),
        ("STATIC", -1, "(100 ms - 2 sec)", STATIC_TEXT, 0x20, (178, 59, 51, 8)),
        ("EDIT", 1013, "", SHOWN | WS_BORDER | ES_AUTOHSCROLL | WS_TABSTOP, 0, (138, 57, 34, 12)),
        ("COMBOBOX", 1010, "", SHOWN | CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, 0, (16, 37, 213, 105)),
        ("STATIC", 1021, "Disk to monitor:", STATIC_TEXT, 0, (16, 21, 108, 9)),
        ("STATIC", 1002, "", SHOWN | SS_ICON | SS_REALSIZEIMAGE, 0, (138, 88, 20, 20)),
        ("STATIC", -1, "Active disk icon", STATIC_TEXT, 0, (16, 90, 113, 8)),
        ("STATIC", 1003, "", SHOWN | SS_ICON | SS_REALSIZEIMAGE, 0, (138, 109, 20, 20)),
        ("STATIC", -1, "Inactive disk icon", STATIC_TEXT, 0, (16, 108, 113, 8)),
        ("BUTTON", 1004, "Browse", SHOWN | WS_TABSTOP, 0, (179, 86, 50, 14)),
        ("BUTTON", 1005, "Browse", SHOWN | WS_TABSTOP, 0, (179, 106, 50, 14)),
        ("BUTTON", 1006, "Default Icons", SHOWN | WS_TABSTOP, 0, (4, 136, 62, 14)),
    ]),
}
MENU_ITEMS = ["About=120", "Settings=121", "-", "Disk Information=32772", "-", "Exit=122"]
FALT = 0x10
ACCELERATORS = [(FALT, ord("?"), 120), (FALT, ord("/"), 120)]
# Each icon group's images as (size, bits per pixel).
ICON_GROUPS = {
    110: [(32, 8), (16, 8), (48, 32), (32, 32), (16, 32)],
    111: [(16, 8), (16, 32)],
    112: [(48, 8), (48, 32)],
    113: [(16, 24)],
    114: [(16, 24)],
}
SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "gdi32.dll", "shell32.dll", "advapi32.dll", "pdh.dll", "msvcrt.dll",
               "comctl32.dll"}
CONTROL_CLASSES = {0x80: "BUTTON", 0x81: "EDIT", 0x82: "STATIC", 0x83: "LISTBOX", 0x84: "SCROLLBAR", 0x85: "COMBOBOX"}

failures = []


def expect(ok, what):
    if not ok:
        print("FAIL " + what)
        failures.append(what)


class Reader:
    """Little-endian fields of one resource, read in order from `at`."""

    def __init__(self, data, at=0):
        self.data, self.at = data, at

    def take(self, form):
        values = struct.unpack_from("<" + form, self.data, self.at)
        self.at += struct.calcsize("<" + form)
        return values if len(values) > 1 else values[0]

    def text(self):
        end = self.at
        while self.data[end:end + 2] != b"\0\0":
            if end + 2 > len(self.data):
                raise IndexError("a text runs past the end of its resource")
            end += 2
        value = self.data[self.at:end].decode("utf-16-le")
        self.at = end + 2
        return value

    def name_or_ordinal(self, class_field=False):
        if struct.unpack_from("<H", self.data, self.at)[0] != 0xFFFF:
            value = self.text()
            return value.upper() if class_field else value
        ordinal = self.take("xxH")
        return CONTROL_CLASSES.get(ordinal, "#%d" % ordinal) if class_field else "#%d" % ordinal

    def align4(self):
        self.at = (self.at + 3) & ~3


def check_dialog(number, data):
    extended, title, style, box, font, points, controls = DIALOGS[number]
    where = "dialog %d: " % number
    r = Reader(data)
    expect((data[:4] == b"\x01\x00\xff\xff") == extended, where + "template form")
    if extended:
        found_ex_style, found_style, count = r.take("8xIIH")
    else:
        found_style, found_ex_style, count = r.take("IIH")
    found_box = r.take("4h")
    menu, window_class, found_title = r.name_or_ordinal(), r.name_or_ordinal(), r.text()
    expect(found_style == style, where + "style")
    expect(found_ex_style == 0 and menu == "" and window_class == "", where + "extended style, menu or class")
    expect(found_box == box, where + "position or size")
    expect(found_title == title, where + 'title "%s"' % found_title)
    found_points = r.take("H")
    if extended:
        expect(r.take("HBB") == (0, 0, 1), where + "font weight, italic or charset")
    expect((found_points, r.text()) == (points, font), where + "font")
    expect(count == len(controls), where + "number of controls")
    for i, (class_name, number_id, text, control_style, control_ex_style, control_box) in enumerate(controls[:count]):
        r.align4()
        if extended:
            found_ex_style, found_style = r.take("4xII")
        else:
            found_style, found_ex_style = r.take("II")
        found_box = r.take("4h")
        found_id = r.take("i" if extended else "h")
        found_class, found_text = r.name_or_ordinal(True), r.name_or_ordinal()
        extra = r.take("H")
        r.at += extra
        control = where + "control %d (%s): " % (i + 1, found_text)
        expect(found_class == class_name, control + "class " + found_class)
        expect(found_id == number_id, control + "ID %d" % found_id)
        expect(found_text == text, control + "text")
        expect(found_style == control_style, control + "style %d" % found_style)
        expect(found_ex_style == control_ex_style, control + "extended style")
        expect(found_box == control_box, control + "position or size")
    print("dialog %d: %d controls compared" % (number, count))


def check_menu(data):
    r = Reader(data, 4)
    flags, popup = r.take("H"), r.text()
    expect(flags & 0x10 and flags & 0x80 and popup == "POPUP", "menu 123: one top-level popup")
    items = []
    while True:
        flags, number = r.take("HH")
        text = r.text()
        items.append("-" if text == "" and number == 0 else "%s=%d" % (text, number))
        expect(flags & ~0x80 == 0, "menu 123: an item is grayed, checked or a popup")
        if flags & 0x80:
            break
    expect(items == MENU_ITEMS, "menu 123: the items")


def check_accelerators(data):
    entries = [struct.unpack_from("<HHHxx", data, at) for at in range(0, len(data) - 7, 8)]
    expect(len(data) == 8 * len(ACCELERATORS), "accelerators 105: number of entries")
    for i, (flags, key, command) in enumerate(entries):
        expect(i < len(ACCELERATORS) and (flags & ~0x80, key, command) == ACCELERATORS[i],
               "accelerators 105: entry %d" % (i + 1))
    expect(entries and entries[-1][0] & 0x80, "accelerators 105: end mark on the last entry")


# Each image of an icon group is square and a bitmap carrying its AND mask (the header gives
# twice the height), and the group holds the images the emblem needs.
def check_icon_groups(resources):
    for group, wanted in ICON_GROUPS.items():
        data = resources.get((RT_GROUP_ICON, group), b"\0" * 6)
        found = []
        for i in range(struct.unpack_from("<H", data, 4)[0]):
            width, height, bits, icon = struct.unpack_from("<BB4xH4xH", data, 6 + 14 * i)
            width, height = width or 256, height or 256
            expect(width == height, "icon group %d has a non-square image" % group)
            found.append((width, bits))
            image = resources.get((RT_ICON, icon), b"\0" * 16)
            expect(struct.unpack_from("<I4xixxH", image) == (40, 2 * height, bits),
                   "icon %d of group %d is not a bitmap with its mask" % (icon, group))
        expect(found == wanted, "icon group %d has other images than the emblem needs" % group)


# The tray icon: a 12 x 12 square at (2, 2) with a black border, the interior in `green`, and a
# transparent margin.
def check_tray_square(resources, group, green):
    data = resources.get((RT_GROUP_ICON, group), b"\0" * 20)
    image = resources.get((RT_ICON, struct.unpack_from("<H", data, 18)[0]), b"")
    if len(image) < 40 + 16 * 48 + 16 * 4:
        expect(False, "tray icon %d is missing or short" % group)
        return
    wrong = 0
    for y in range(16):
        row = 15 - y
        for x in range(16):
            b, g, r = image[40 + row * 48 + 3 * x:40 + row * 48 + 3 * x + 3]
            transparent = image[40 + 16 * 48 + row * 4 + x // 8] >> (7 - x % 8) & 1
            in_square = 2 <= x <= 13 and 2 <= y <= 13
            border = in_square and (x in (2, 13) or y in (2, 13))
            wanted_green = 0 if border else green
            if not in_square:
                wrong += not transparent
            else:
                wrong += transparent or (r, g, b) != (0, wanted_green, 0)
    expect(wrong == 0, "tray icon %d has %d wrong pixels" % (group, wrong))


# Walks the version tree by its lengths: "path" -> text value, and the translation's numbers.
def walk_version(data, node, end, path, values, translation):
    while node + 6 < end:
        length, value_length, kind = struct.unpack_from("<HHH", data, node)
        if length == 0:
            break
        r = Reader(data, node + 6)
        key = r.text()
        r.align4()
        here = key if not path else path + "/" + key
        if key == "VS_VERSION_INFO":
            fixed = struct.unpack_from("<13I", data, r.at)
            expect(fixed[0] == 0xFEEF04BD, "version: fixed file information signature")
            expect(fixed[2:4] == (0x10000, 2), "version: file version 1.0.0.2")
            expect(fixed[4:6] == (0x10000, 2), "version: product version 1.0.0.2")
            expect(fixed[8:10] == (4, 1), "version: 32-bit Windows application")
            r.at += value_length
        elif kind == 1 and value_length > 0:
            values[here] = Reader(data, r.at).text()
            r.at += 2 * value_length
        elif key == "Translation":
            translation += struct.unpack_from("<%dH" % (value_length // 2), data, r.at)
            r.at += value_length
        r.align4()
        if r.at < node + length:
            walk_version(data, r.at, node + length, here, values, translation)
        node = (node + length + 3) & ~3


def check_version(data):
    values, translation = {}, []
    walk_version(data, 0, len(data), "", values, translation)
    table = "VS_VERSION_INFO/StringFileInfo/040904b0/"
    for key, value in [("FileVersion", "1.0.0.2"), ("ProductVersion", "1.0.0.2"), ("InternalName", "Lumenhop"),
                       ("ProductName", "Varrowin")]:
        expect(values.get(table + key) == value, "version: " + key)
    expect(translation == [0x0409, 1200], "version: translation 0x0409, 1200")


def check_manifest(data):
    text = data.decode("utf-8", "replace")
    expect(text.startswith('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>'), "manifest: XML declaration")
    expect('xmlns="urn:schemas-microsoft-com:asm.v1" manifestVersion="1.0"' in text, "manifest: namespace and version")
    expect('name="Orvane.Varrowin.Lumenhop.exe" version="5.1.0.0" processorArchitecture="x86"' in text,
           "manifest: the program's identity")
    expect("<description>Lumenhop</description>" in text, "manifest: description")
    expect('name="Microsoft.Windows.Common-Controls" version="6.0.0.0" processorArchitecture="x86" '
           'publicKeyToken="6595b64144ccf1df" language="*"' in text, "manifest: the common controls dependency")
    expect(not any(word in text for word in ("requestedExecutionLevel", "compatibility", "dpiAware")),
           "manifest: no execution level, compatibility or DPI setting")


def check_resources(pe):
    resources = {}
    for kind in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        for item in kind.directory.entries:
            for language in item.directory.entries:
                expect(kind.name is None and item.name is None, "a resource has a name instead of a number")
                expect(language.id == 0x0409,
                       "resource type %s id %s has language %s" % (kind.id, item.id, language.id))
                entry = language.data.struct
                resources[(kind.id, item.id)] = pe.get_data(entry.OffsetToData, entry.Size)
    found = {}
    for kind, number in resources:
        if kind != RT_ICON:
            found.setdefault(kind, set()).add(number)
    expect(found == {RT_MENU: {123}, RT_ACCELERATOR: {105}, RT_DIALOG: {101, 102, 103},
                     RT_GROUP_ICON: {110, 111, 112, 113, 114}, RT_VERSION: {1}, RT_MANIFEST: {1}},
           "the resource types and IDs are not exactly the program's")
    print("resources: %d entries, all checked for language 0x0409" % len(resources))
    check_icon_groups(resources)
    check_tray_square(resources, 113, 255)
    check_tray_square(resources, 114, 128)
    for number in DIALOGS:
        if (RT_DIALOG, number) in resources:
            check_dialog(number, resources[(RT_DIALOG, number)])
    if (RT_MENU, 123) in resources:
        check_menu(resources[(RT_MENU, 123)])
    if (RT_ACCELERATOR, 105) in resources:
        check_accelerators(resources[(RT_ACCELERATOR, 105)])
    if (RT_VERSION, 1) in resources:
        check_version(resources[(RT_VERSION, 1)])
    if (RT_MANIFEST, 1) in resources:
        check_manifest(resources[(RT_MANIFEST, 1)])


def main():
    if len(sys.argv) != 2:
        print("usage: %s Lumenhop.exe" % sys.argv[0], file=sys.stderr)
        return 2
    try:
        pe = pefile.PE(sys.argv[1])
    except (OSError, pefile.PEFormatError) as error:
        print("FAIL %s is not an executable: %s" % (sys.argv[1], error))
        return 1
    # What the user gets is small: stripped, at most 200 KB.
    size = len(pe.__data__)
    expect(size <= 200 * 1024, "at most 200 KB, not %d bytes" % size)
    expect(pe.FILE_HEADER.PointerToSymbolTable == 0 and pe.FILE_HEADER.NumberOfSymbols == 0, "no symbol table")
    expect(pe.FILE_HEADER.Machine == 0x14C, "machine is i386")
    expect(pe.OPTIONAL_HEADER.Magic == 0x10B, "a PE32 (32-bit) image")
    expect(pe.OPTIONAL_HEADER.Subsystem == 2, "subsystem is Windows GUI")
    imports = [entry.dll.decode() for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])]
    print("imports: " + " ".join(imports))
    expect(imports, "the import table is empty")
    for name in imports:
        expect(name.lower() in SYSTEM_DLLS, "imports a DLL that is not the system's: " + name)
    if hasattr(pe, "DIRECTORY_ENTRY_RESOURCE"):
        try:
            check_resources(pe)
        except (struct.error, UnicodeDecodeError, IndexError) as error:
            expect(False, "a resource ends early or is malformed: %s" % error)
    else:
        expect(False, "no resource directory")
    print("executable checked: " + ("all well" if not failures else "%d problem(s)" % len(failures)))
    return 0 if not failures else 1


if __name__ == "__main__":
    sys.exit(main())
