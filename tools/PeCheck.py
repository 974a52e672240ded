#!/usr/bin/python3
"""Checks a built Lumenhop.exe for what the program relies on: a stripped 32-bit GUI image within
its size budget that imports only Windows' KnownDLLs, and every resource the code loads, of the type and
ID it loads it by: the tray menu with the commands the code routes, the accelerators, the dialog
templates with the controls the code addresses and the classes it needs them to be, the icons, the
version block with the project's version, and the manifest.

  lumenhop_pecheck PATH/Lumenhop.exe     prints what it checked; exit 1 on any difference

The project's version is read from the CMakeLists.txt found above this script or the current
directory.
"""
import re
import struct
import sys
import xml.etree.ElementTree
from pathlib import Path

import pefile

RT_ICON, RT_MENU, RT_DIALOG, RT_ACCELERATOR, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 4, 5, 9, 14, 16, 24
SIZE_BUDGET = 200 * 1024
# Windows' KnownDLLs, as its Session Manager\KnownDLLs key lists them from Windows 7 on: the loader
# takes these from the system directory alone, never from the folder of the executable. Any other
# DLL (pdh.dll, comctl32.dll) is loaded at run time from the system directory by the program itself.
KNOWN_DLLS = {"advapi32.dll", "clbcatq.dll", "comdlg32.dll", "gdi32.dll", "imagehlp.dll", "imm32.dll", "kernel32.dll",
              "msctf.dll", "msvcrt.dll", "normaliz.dll", "nsi.dll", "ole32.dll", "oleaut32.dll", "psapi.dll",
              "rpcrt4.dll", "sechost.dll", "setupapi.dll", "shell32.dll", "shlwapi.dll", "user32.dll", "wldap32.dll",
              "ws2_32.dll"}

# Submenu 0 of menu 123 holds the commands the main window routes.
MENU, MENU_COMMANDS = 123, {120, 121, 32772, 122}
# Alt+? and Alt+/ (characters, not virtual keys) give About.
FALT, FVIRTKEY = 0x10, 0x01
ACCELERATORS, ACCELERATOR_ENTRIES = 105, {(FALT, ord("?"), 120), (FALT, ord("/"), 120)}
# The controls the code addresses in each dialog, by ID, as the kind of control it needs: it reads
# a check box's state, sets an icon static's icon, fills a combo box and an edit box.
DIALOGS = {
    101: {1007: "edit", 2: "button"},
    102: {1: "button"},
    103: {1: "button", 2: "button", 1000: "check box", 1002: "icon", 1003: "icon", 1004: "button",
          1005: "button", 1006: "button", 1010: "combo box", 1013: "edit"},
}
# The window class's icons, About's emblem, and the two tray icons, which are loaded at the
# shell's small-icon size: 16 x 16 in 24 bits first (the picture at 100%), then the sizes of 125,
# 150, 175 and 200% scale.
ICONS, TRAY_ICONS, TRAY_SIZES = {110, 111, 112, 113, 114}, {113, 114}, [16, 20, 24, 28, 32]
# DPI awareness: system-aware where only the older element is known, per-monitor (version 2)
# where the newer one is; both inside the application's windowsSettings.
WINDOWS_SETTINGS = "{urn:schemas-microsoft-com:asm.v3}application/{urn:schemas-microsoft-com:asm.v3}windowsSettings/"
DPI_AWARE = WINDOWS_SETTINGS + "{http://schemas.microsoft.com/SMI/2005/WindowsSettings}dpiAware"
DPI_AWARENESS = WINDOWS_SETTINGS + "{http://schemas.microsoft.com/SMI/2016/WindowsSettings}dpiAwareness"
CLASS_ORDINALS = {0x80: "BUTTON", 0x81: "EDIT", 0x82: "STATIC", 0x83: "LISTBOX", 0x84: "SCROLLBAR", 0x85: "COMBOBOX"}
DS_SETFONT, SS_ICON = 0x40, 0x3
MF_POPUP, MF_END = 0x10, 0x80

failures = []


def expect(ok, what):
    if not ok:
        print("FAIL " + what)
        failures.append(what)
    return ok


def text_or_ordinal(data, at):
    """A template's text or ordinal (as an int) at `at`, and the offset after it."""
    if struct.unpack_from("<H", data, at)[0] == 0xFFFF:
        return struct.unpack_from("<H", data, at + 2)[0], at + 4
    end = at
    while struct.unpack_from("<H", data, end)[0] != 0:
        end += 2
    return data[at:end].decode("utf-16-le"), end + 2


def control_kind(window_class, style):
    if window_class == "BUTTON":
        return "check box" if style & 0xF in (2, 3, 5, 6) else "button"
    if window_class == "STATIC":
        return "icon" if style & 0x1F == SS_ICON else "static"
    return {"EDIT": "edit", "COMBOBOX": "combo box"}.get(window_class, str(window_class))


def dialog_controls(data):
    """The controls of a dialog template, plain or extended, as (ID, kind, text) in order."""
    extended = data[:4] == b"\x01\x00\xff\xff"
    style, count = struct.unpack_from("<12xIH" if extended else "<I4xH", data)
    at = 26 if extended else 18
    for _ in range(3):  # menu, class, title
        at = text_or_ordinal(data, at)[1]
    if style & DS_SETFONT:
        at = text_or_ordinal(data, at + (6 if extended else 2))[1]
    controls = []
    for _ in range(count):
        at = (at + 3) & ~3
        style, number = struct.unpack_from("<8xI8xi" if extended else "<I12xh", data, at)
        window_class, at = text_or_ordinal(data, at + (24 if extended else 18))
        text, at = text_or_ordinal(data, at)
        at += 2 + struct.unpack_from("<H", data, at)[0]
        window_class = CLASS_ORDINALS.get(window_class, str(window_class).upper())
        controls.append((number, control_kind(window_class, style), text))
    return controls


def menu_items(data, at):
    """One level of a menu template from `at`: command IDs (0 for a separator) and, for each popup,
    the list of its own items; and the offset after the level."""
    items = []
    while True:
        flags = struct.unpack_from("<H", data, at)[0]
        if flags & MF_POPUP:
            at = text_or_ordinal(data, at + 2)[1]
            popup, at = menu_items(data, at)
            items.append(popup)
        else:
            items.append(struct.unpack_from("<H", data, at + 2)[0])
            at = text_or_ordinal(data, at + 4)[1]
        if flags & MF_END:
            return items, at


def check_resources(pe, resources, version):
    menu = resources.get((RT_MENU, MENU))
    if expect(menu, "no menu %d" % MENU):
        popup = menu_items(menu, 4)[0][0]
        commands = {item for item in popup if isinstance(item, int)} - {0} if isinstance(popup, list) else set()
        expect(commands == MENU_COMMANDS, "menu %d: submenu 0 holds commands %s" % (MENU, sorted(commands)))

    table = resources.get((RT_ACCELERATOR, ACCELERATORS), b"")
    entries = {(flags & ~MF_END, key, command) for flags, key, command in struct.iter_unpack("<HHHxx", table)}
    expect(entries == ACCELERATOR_ENTRIES, "accelerators %d: %s" % (ACCELERATORS, sorted(entries)))

    for number, wanted in DIALOGS.items():
        template = resources.get((RT_DIALOG, number))
        if not expect(template, "no dialog %d" % number):
            continue
        controls = dialog_controls(template)
        found = {control: kind for control, kind, _ in controls if control in wanted}
        expect(found == wanted, "dialog %d: the controls the code addresses are %s" % (number, found))
        # An icon the template itself names (About's emblem) is loaded by the dialog manager.
        for _, kind, text in controls:
            expect(kind != "icon" or text == "" or (RT_GROUP_ICON, text) in resources,
                   "dialog %d names icon %s, which is missing" % (number, text))

    for group in sorted(ICONS):
        data = resources.get((RT_GROUP_ICON, group))
        if not expect(data, "no icon %d" % group):
            continue
        count = struct.unpack_from("<H", data, 4)[0]
        images = [struct.unpack_from("<BB10xH", data, 6 + 14 * i) for i in range(count)]
        expect(all((RT_ICON, image) in resources for _, _, image in images), "icon %d lacks an image" % group)
        sizes = [(width, height) for width, height, _ in images]
        if group in TRAY_ICONS:
            first_bits = struct.unpack_from("<6xH", data, 6)[0] if count else 0
            expect(sizes == [(size, size) for size in TRAY_SIZES] and first_bits == 24,
                   "icon %d: images %s (16 x 16 in %d bits first), not %s with 16 x 16 in 24 bits first"
                   % (group, sizes, first_bits, TRAY_SIZES))

    if expect((RT_VERSION, 1) in resources and hasattr(pe, "VS_FIXEDFILEINFO"), "no version block"):
        fixed = pe.VS_FIXEDFILEINFO[0]
        parts = [int(part) for part in version.split(".")]
        numbers = ((parts[0] << 16) | parts[1], (parts[2] << 16) | parts[3])
        expect((fixed.FileVersionMS, fixed.FileVersionLS) == numbers, "version: file version is not " + version)
        expect((fixed.ProductVersionMS, fixed.ProductVersionLS) == numbers,
               "version: product version is not " + version)
        strings = {}
        for entry in (entry for info in getattr(pe, "FileInfo", []) for entry in info):
            for string_table in getattr(entry, "StringTable", []):
                strings.update({key.decode(): value.decode() for key, value in string_table.entries.items()})
        for key in ("FileVersion", "ProductVersion"):
            expect(strings.get(key) == version, "version: %s is %s, not %s" % (key, strings.get(key), version))

    manifest = resources.get((RT_MANIFEST, 1))
    if expect(manifest, "no manifest"):
        identities = [(element.get("name"), element.get("version"))
                      for element in xml.etree.ElementTree.fromstring(manifest).iter()
                      if element.tag.endswith("assemblyIdentity")]
        expect(("Microsoft.Windows.Common-Controls", "6.0.0.0") in identities,
               "manifest: no dependency on the version 6 common controls")
        root = xml.etree.ElementTree.fromstring(manifest)
        aware, awareness = root.find(DPI_AWARE), root.find(DPI_AWARENESS)
        expect(aware is not None and (aware.text or "").strip().lower() == "true", "manifest: dpiAware is not true")
        values = [value.strip().lower() for value in (awareness.text or "").split(",")] if awareness is not None else []
        expect(values[:2] == ["permonitorv2", "system"], "manifest: dpiAwareness is not PerMonitorV2, then System")


def project_version():
    for start in (Path(__file__).resolve().parent, Path.cwd()):
        for folder in (start, *start.parents):
            lists = folder / "CMakeLists.txt"
            found = lists.is_file() and re.search(r"^project\(Lumenhop VERSION ([0-9]+(\.[0-9]+){3})\b",
                                                  lists.read_text(), re.MULTILINE)
            if found:
                return found.group(1)
    return None


def main():
    if len(sys.argv) != 2:
        print("usage: %s Lumenhop.exe" % sys.argv[0], file=sys.stderr)
        return 2
    version = project_version()
    if version is None:
        print("FAIL no CMakeLists.txt with the project's four-part version above this script or here")
        return 1
    try:
        pe = pefile.PE(sys.argv[1])
    except (OSError, pefile.PEFormatError) as error:
        print("FAIL %s is not an executable: %s" % (sys.argv[1], error))
        return 1
    size = len(pe.__data__)
    expect(size <= SIZE_BUDGET, "at most %d bytes, not %d" % (SIZE_BUDGET, size))
    expect(pe.FILE_HEADER.PointerToSymbolTable == 0 and pe.FILE_HEADER.NumberOfSymbols == 0, "no symbol table")
    expect(pe.FILE_HEADER.Machine == 0x14C and pe.OPTIONAL_HEADER.Magic == 0x10B, "a 32-bit (PE32, i386) image")
    expect(pe.OPTIONAL_HEADER.Subsystem == 2, "subsystem is Windows GUI")
    imports = [entry.dll.decode() for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])]
    print("%d bytes; imports: %s" % (size, " ".join(imports)))
    expect(imports, "the import table is empty")
    for name in imports:
        expect(name.lower() in KNOWN_DLLS, "imports a DLL that is not one of Windows' KnownDLLs: " + name)

    resources = {}
    directory = getattr(pe, "DIRECTORY_ENTRY_RESOURCE", None)
    for kind in directory.entries if directory else []:
        for item in kind.directory.entries:
            for language in item.directory.entries:
                entry = language.data.struct
                resources[(kind.id, item.id)] = pe.get_data(entry.OffsetToData, entry.Size)
    print("resources: %d, checked against the code's loads; version %s" % (len(resources), version))
    try:
        check_resources(pe, resources, version)
    except (struct.error, UnicodeDecodeError, IndexError, xml.etree.ElementTree.ParseError) as error:
        expect(False, "a resource ends early or is malformed: %s" % error)
    print("executable checked: " + ("all well" if not failures else "%d problem(s)" % len(failures)))
    return 0 if not failures else 1


if __name__ == "__main__":
    sys.exit(main())
