"""The dialog templates of the two wizard pages and the side picture, read
straight from the built program's resources with pefile (no Wine needed).

The tables below are the templates as the pages are designed, written out
here on their own, so that a slip in a resource script (a lost style bit, a
control out of order and so out of the tab order and radio group, a wrong
size, a plain DIALOG instead of an extended one, a different font) shows up as
a difference.
"""
import struct
import unittest

import pefile

from harness import product_exe

RT_BITMAP, RT_DIALOG = 2, 5
ENGLISH = 1033

# Predefined window classes as a template may name them by atom.
CLASS_ATOMS = {0x80: "BUTTON", 0x81: "EDIT", 0x82: "STATIC", 0x83: "LISTBOX",
               0x84: "SCROLLBAR", 0x85: "COMBOBOX"}

VISIBLE_CHILD = 0x50000000          # WS_CHILD | WS_VISIBLE
GROUP, TAB = 0x00020000, 0x00010000
PICTURE = VISIBLE_CHILD | 0x0E | 0x800   # SS_BITMAP | SS_REALSIZEIMAGE
TEXT = VISIBLE_CHILD | GROUP             # SS_LEFT
RADIO = VISIBLE_CHILD | 0x09             # BS_AUTORADIOBUTTON
PUSH = VISIBLE_CHILD | TAB               # BS_PUSHBUTTON
BITMAP_99 = 99                           # the template text of the picture: an ordinal

PAGE_STYLE = 0x80C001C0  # WS_POPUP | WS_CAPTION | DS_MODALFRAME | DS_SETFONT | DS_NOIDLEMSG

# id, class, style, (x, y, width, height), template text ("" for none)
EDITION_PAGE_CONTROLS = [
    (98, "STATIC", PICTURE, (6, 6, 79, 160), BITMAP_99),
    (101, "STATIC", TEXT, (89, 7, 180, 11), "Banner text"),
    (102, "STATIC", TEXT, (118, 31, 154, 26),
     "Corvane Free Edition plus Corvane Harbor Suite 15-day trial  (Recommended)"),
    (103, "BUTTON", RADIO, (105, 30, 12, 10), ""),
    (111, "BUTTON", RADIO, (105, 54, 12, 10), ""),
    (104, "STATIC", TEXT, (96, 70, 180, 12), "Option 1:\t\tValue"),
    (112, "COMBOBOX", VISIBLE_CHILD | 0x03 | 0x100 | 0x00200000 | TAB,  # DROPDOWNLIST, SORT, VSCROLL
     (141, 72, 69, 128), ""),
    (106, "STATIC", TEXT, (90, 105, 180, 12), "Option 3:\t\tValue"),
    (107, "STATIC", TEXT, (90, 120, 180, 12), "Option 4:\t\tValue"),
    (108, "STATIC", TEXT, (90, 135, 180, 12), "Option 5:\t\tValue"),
    (109, "BUTTON", PUSH, (168, 168, 50, 14), "Next >"),
    (110, "BUTTON", PUSH, (222, 168, 50, 14), "Cancel"),
    (1004, "BUTTON", PUSH, (114, 168, 50, 14), "< Back"),
    (105, "STATIC", TEXT & ~0x10000000, (93, 90, 50, 12), "Option 2:\t\tValue"),  # not visible
    (113, "STATIC", TEXT, (117, 55, 130, 14), "Corvane Free Edition"),
]

DOWNLOAD_PAGE_CONTROLS = [
    (98, "STATIC", PICTURE, (6, 6, 79, 160), BITMAP_99),
    (201, "STATIC", TEXT, (90, 5, 180, 42), "Banner text"),
    (202, "BUTTON", RADIO, (105, 47, 120, 10), "Download and install"),
    (203, "BUTTON", RADIO, (105, 62, 152, 10), "Download only"),
    (204, "EDIT", VISIBLE_CHILD | 0x800 | 0x80 | 0x00800000 | TAB,  # READONLY, AUTOHSCROLL, BORDER
     (120, 105, 151, 14), ""),
    (205, "BUTTON", PUSH, (211, 122, 60, 14), "Browse"),
    (207, "BUTTON", PUSH, (168, 168, 50, 14), "Next >"),
    (208, "BUTTON", PUSH, (222, 168, 50, 14), "Cancel"),
    (206, "BUTTON", PUSH, (114, 168, 50, 14), "< Back"),
]

# template, point size, weight, controls
PAGES = {
    1101: (8, 400, EDITION_PAGE_CONTROLS),
    1102: (9, 0, DOWNLOAD_PAGE_CONTROLS),   # 0: the default weight
}


def _sz_or_ord(data, offset):
    """(text, ordinal or None, next offset) of a sz_Or_Ord field."""
    first = struct.unpack_from("<H", data, offset)[0]
    if first == 0:
        return "", None, offset + 2
    if first == 0xFFFF:
        return "", struct.unpack_from("<H", data, offset + 2)[0], offset + 4
    end = offset
    while struct.unpack_from("<H", data, end)[0] != 0:
        end += 2
    return data[offset:end].decode("utf-16-le"), None, end + 2


def parse_extended_template(data):
    """The header and the controls of a DLGTEMPLATEEX; raises for any other kind."""
    version, signature, help_id, exstyle, style, count, x, y, cx, cy = struct.unpack_from(
        "<HHIIIHhhhh", data, 0)
    if (version, signature) != (1, 0xFFFF):
        raise AssertionError(f"not an extended template: version {version}, signature {signature:#x}")
    offset = 26
    menu, menu_ordinal, offset = _sz_or_ord(data, offset)
    window_class, class_ordinal, offset = _sz_or_ord(data, offset)
    caption, _, offset = _sz_or_ord(data, offset)
    header = {"help_id": help_id, "exstyle": exstyle, "style": style, "rect": (x, y, cx, cy),
              "menu": (menu, menu_ordinal), "class": (window_class, class_ordinal),
              "caption": caption}
    if style & 0x40:  # DS_SETFONT
        points, weight, italic, charset = struct.unpack_from("<HHBB", data, offset)
        face, _, offset = _sz_or_ord(data, offset + 6)
        header.update(points=points, weight=weight, italic=italic, face=face)
    controls = []
    for _ in range(count):
        offset = (offset + 3) & ~3
        help_id, exstyle, style, x, y, cx, cy, control_id = struct.unpack_from("<IIIhhhhI", data, offset)
        name, atom, offset = _sz_or_ord(data, offset + 24)
        text, text_ordinal, offset = _sz_or_ord(data, offset)
        extra = struct.unpack_from("<H", data, offset)[0]
        offset += 2 + extra
        controls.append({"id": control_id, "class": CLASS_ATOMS.get(atom, name.upper()),
                         "style": style, "exstyle": exstyle, "help_id": help_id,
                         "rect": (x, y, cx, cy),
                         "text": text_ordinal if text_ordinal is not None else text,
                         "extra": extra})
    return header, controls


def read_resource(pe, kind, name, language):
    for type_entry in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        if type_entry.id != kind:
            continue
        for name_entry in type_entry.directory.entries:
            if name_entry.id != name:
                continue
            languages = {entry.id: entry for entry in name_entry.directory.entries}
            if language not in languages:
                raise AssertionError(f"resource {kind}/{name} has languages {sorted(languages)}, "
                                     f"not {language}")
            record = languages[language].data.struct
            return pe.get_data(record.OffsetToData, record.Size)
    raise AssertionError(f"no resource {kind}/{name}")


class WizardTemplateTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.pe = pefile.PE(str(product_exe()), fast_load=True)
        cls.pe.parse_data_directories(
            directories=[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_RESOURCE"]])

    def test_pages_are_extended_templates_without_close_box(self):
        for template, (points, weight, _) in PAGES.items():
            with self.subTest(template=template):
                header, _ = parse_extended_template(read_resource(self.pe, RT_DIALOG, template, ENGLISH))
                self.assertEqual(header["style"], PAGE_STYLE)
                self.assertFalse(header["style"] & 0x00080000, "WS_SYSMENU would add a close box")
                self.assertEqual(header["exstyle"], 0)
                self.assertEqual(header["rect"], (150, 150, 276, 186))
                self.assertEqual(header["caption"], "Corvane")
                self.assertEqual(header["menu"], ("", None))
                self.assertEqual(header["class"], ("", None))
                self.assertEqual((header["face"], header["points"], header["weight"], header["italic"]),
                                 ("MS Sans Serif", points, weight, 0))

    def test_controls_in_template_order(self):
        for template, (_, _, expected) in PAGES.items():
            with self.subTest(template=template):
                _, controls = parse_extended_template(read_resource(self.pe, RT_DIALOG, template, ENGLISH))
                self.assertEqual([c["id"] for c in controls], [e[0] for e in expected],
                                 "template order (tab order and radio groups)")
                for control, (control_id, cls, style, rect, text) in zip(controls, expected):
                    with self.subTest(control=control_id):
                        self.assertEqual(control["class"], cls)
                        self.assertEqual(hex(control["style"]), hex(style))
                        self.assertEqual(control["exstyle"], 0)
                        self.assertEqual(control["rect"], rect)
                        self.assertEqual(control["text"], text)
                        self.assertEqual(control["extra"], 0)

    def test_radio_buttons_share_one_group_and_no_button_is_default(self):
        # Auto radio buttons exclude each other within the run of controls
        # from one WS_GROUP control to the next.
        for template, radios in ((1101, {103, 111}), (1102, {202, 203})):
            with self.subTest(template=template):
                _, controls = parse_extended_template(read_resource(self.pe, RT_DIALOG, template, ENGLISH))
                groups, current = [], None
                for control in controls:
                    if control["style"] & GROUP or current is None:
                        current = set()
                        groups.append(current)
                    current.add(control["id"])
                self.assertTrue(any(radios <= group for group in groups), groups)
                for control in controls:
                    if control["class"] == "BUTTON":
                        self.assertNotEqual(control["style"] & 0x0F, 0x01,
                                            f"{control['id']} is a default push button")

    def test_side_picture_is_a_24_bit_bitmap_of_119_by_260(self):
        data = read_resource(self.pe, RT_BITMAP, 99, ENGLISH)
        size, width, height, planes, bits, compression = struct.unpack_from("<IiiHHI", data, 0)
        self.assertGreaterEqual(size, 40)
        self.assertEqual((width, abs(height), planes, bits, compression), (119, 260, 1, 24, 0))
        stride = (width * 3 + 3) & ~3
        pixels = data[size:size + stride * abs(height)]
        self.assertEqual(len(pixels), stride * abs(height), "pixel data cut short")
        colours = {pixels[row * stride + 3 * x:row * stride + 3 * x + 3]
                   for row in range(0, abs(height), 7) for x in range(0, width, 5)}
        self.assertGreater(len(colours), 8, "the picture is (nearly) one colour")


if __name__ == "__main__":
    unittest.main()
