#!/usr/bin/env python3
"""Compares the wizard pages (and the folder picker) that setup.exe showed
under Wine with their layout tables.

    layout_check.py LAYOUT_FILE PAGECLASS

LAYOUT_FILE is what the Win32 backend writes when SETUP_LAYOUT_FILE is set:
a "form CLASS NOTE dpi DPI" line whenever a form is shown or moves to another
page, then one line per control: NAME KIND LEFT TOP WIDTH HEIGHT
visible|hidden enabled|disabled "TEXT", bounds in pixels relative to the
form's client area. The tables are in 96-dpi units: a form shown at another
DPI must have every control at the table's place and size times DPI / 96
(rounded; a pixel either way for sizes, two for places, which add up the
rounding of the containers around them). The last block of the page is
checked: every control of the page's table (and of the frame around it) must
be there at its place and size; a control marked
optional may be hidden, since the project decides whether it shows. A
document view's TEXT is the start of what its window shows: the views of the
agreement and readme pages must show some.
"""
import sys

FRAME = [
    ("Panel1", 0, 0, 508, 294),
    ("Bevel1", 0, 295, 508, None),
    ("Label1", 8, 309, None, None),
    ("bPrevious?", 256, 304, 75, 22),
    ("bNext?", 336, 304, 75, 22),
    ("bCancel", 424, 304, 75, 22),
]

PAGES = {
    "TfrmFist": [
        ("Image1", 0, 0, None, None),
        ("Label1", 160, 16, 341, 41),
        ("Label2", 160, 64, 341, 47),
        ("Label3", 160, 120, 341, 52),
        ("Label4?", 160, 209, 337, 28),
        ("Label5?", 160, 241, None, None),
    ],
    "TfrmProtocol": [
        ("Img_Pro_Head", 0, 0, None, None),
        ("Label7", 16, 11, None, None),
        ("Lb_Pro_Head", 43, 29, None, None),
        ("Label6", 15, 66, 476, None),
        ("Panel10", 15, 87, 478, 162),
        ("WebBrowser1", 15, 87, 478, 162),
        ("Label5", 15, 262, 476, 24),
    ],
    "TfrmSoftExplaion": [
        ("Image2", 0, 0, None, None),
        ("Label8", 16, 13, None, None),
        ("Label15", 40, 32, None, None),
        ("Label16", 16, 66, 469, None),
        ("Panel9", 16, 90, 467, 160),
        ("WebBrowser1", 16, 90, 467, 160),
        ("Label17", 16, 263, 424, 24),
    ],
    "TfrmStartFolder": [
        ("Image6", 0, 0, None, 57),
        ("Label10", 16, 14, None, None),
        ("Label11", 29, 33, None, None),
        ("Image1", 31, 67, 32, 32),
        ("Label1", 80, 76, None, None),
        ("Label2", 32, 112, None, None),
        ("Edit1", 33, 136, 344, 20),
        ("BitBtn1", 384, 134, 81, 22),
        ("CheckBox1?", 32, 248, 177, 17),
    ],
    "TfrmSelComponent": [
        ("Image5", 0, 0, None, 57),
        ("Label18", 24, 15, None, None),
        ("Label19", 48, 34, None, None),
        ("Label4", 16, 73, 257, None),
        ("Panel12", 16, 95, 382, 151),
        ("List_Component", 16, 95, 382, 151),
        ("Label9", 16, 257, None, None),
    ],
    "TfrmSelectInstallDir": [
        ("Image6", 0, 0, None, 57),
        ("Label10", 16, 14, None, None),
        ("Label11", 29, 33, None, None),
        ("Image1", 31, 67, 32, 32),
        ("Label1", 79, 68, 417, 29),
        ("Label2", 32, 124, None, None),
        ("Edit1", 33, 148, None, 20),  # 376 wide, 288 when the search is offered
        ("BitBtn1", None, 146, 81, 22),  # at 415, or 328 beside the search
        ("BitBtn2?", 414, 146, 81, 22),
        ("Label14", 33, 200, None, None),
        ("lNeedsSize", 148, 200, None, None),
        ("Label20", 33, 224, None, None),
        ("lDrvSize", 148, 224, None, None),
    ],
    "TfrmAddonsTask": [
        ("Image6", 0, 0, None, 57),
        ("Label10", 16, 14, None, None),
        ("Label11", 29, 33, None, None),
        ("Label1", 28, 69, 378, 28),
        ("Label2", 32, 112, None, None),
        ("CheckBox1?", 32, 136, 373, 17),
        ("CheckBox2?", 32, 160, 373, 17),
    ],
    "TfrmReadyIns": [
        ("Image6", 0, 0, None, 57),
        ("Label10", 16, 14, None, None),
        ("Label11", 29, 33, None, None),
        ("Label27", 16, 70, 473, 28),
        ("Panel1", 16, 114, 473, 153),
        ("Memo1", 16, 114, 473, 153),
    ],
    "TfrmBeginIns": [
        ("Image8", 0, 0, None, 57),
        ("Label28", 16, 15, None, None),
        ("Label29", 45, 34, None, None),
        ("Label30", 24, 76, 398, 14),
        ("Label31", 452, 77, None, None),
        ("ProgressBar1", 24, 98, 446, 19),
        ("mInstall?", 23, 128, 447, 148),
    ],
    "TfrmEndIns": [
        ("Image9", 0, 0, None, None),
        ("Lb_Insted_Prog", 168, 28, 302, 45),
        ("Label1", 168, 74, 302, 28),
        ("Label2", 168, 110, None, None),
        ("CheckBox1?", 168, 133, 297, 17),
        ("CheckBox2?", 168, 157, 289, 17),
        ("CheckBox3?", 168, 181, 297, 17),
    ],
}


# Controls whose window must show text when they are visible.
SHOWS_TEXT = {"TfrmProtocol.WebBrowser1", "TfrmSoftExplaion.WebBrowser1"}

# Dialogs checked as a whole: the folder picker.
FORMS = {
    "TfrmStartFolderInfo": [
        ("Label1", 14, 18, None, None),
        ("Edit1", 14, 42, 339, 20),
        ("ShellTreeView1", 15, 65, 339, 220),
        ("BitBtn1", 190, 301, 75, 22),
        ("BitBtn2", 270, 301, 75, 22),
    ],
}


def last_block(path, page):
    header = ("form " + page + " ") if page in FORMS else ("form TfrmParent page " + page)
    blocks, current = [], None
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.rstrip("\n")
            if line.startswith("form "):
                current = None
                if line.startswith(header):
                    words = line.split()
                    dpi = int(words[-1]) if len(words) >= 2 and words[-2] == "dpi" else 96
                    current = []
                    blocks.append((dpi, current))
            elif current is not None:
                current.append(line)
    return blocks[-1] if blocks else (None, None)


def scaled(value, dpi):
    """The table's value at the DPI, rounded half away from zero as MulDiv does."""
    return (value * dpi + 48) // 96


def main():
    path, page = sys.argv[1], sys.argv[2]
    dpi, block = last_block(path, page)
    if block is None:
        print(f"layout: {page} was never shown")
        return 1
    controls = {}
    for line in block:
        head, _, text = line.partition(' "')
        words = head.split()
        if len(words) >= 8:
            controls[words[0]] = (int(words[2]), int(words[3]), int(words[4]), int(words[5]), words[6],
                                  text.rstrip('"').strip())
    faults = []
    if page in FORMS:
        expected = FORMS[page]
    else:
        expected = [(n, *rest) for n, *rest in FRAME] + [(page + "." + n, *rest) for n, *rest in PAGES[page]]
    for name, left, top, width, height in expected:
        optional = name.endswith("?")
        name = name.rstrip("?")
        got = controls.get(name)
        if got is None:
            faults.append(f"{name} is missing")
            continue
        if got[4] != "visible":
            if not optional:
                faults.append(f"{name} is hidden")
            continue
        if name in SHOWS_TEXT and not got[5]:
            faults.append(f"{name} shows no text")
        want = (left, top, width, height)
        for index, (label, w, g) in enumerate(zip(("left", "top", "width", "height"), want, got[:4])):
            if w is None:
                continue
            slack = 0 if dpi == 96 else (2 if index < 2 else 1)
            if abs(scaled(w, dpi) - g) > slack:
                at = "" if dpi == 96 else f" ({scaled(w, dpi)} at {dpi} dpi)"
                faults.append(f"{name}: {label} {g}, the layout says {w}{at}")
    if faults:
        print(f"layout of {page}: " + "; ".join(faults))
        return 1
    print(f"   layout of {page}: {len(expected)} controls in place at {dpi} dpi")
    return 0


if __name__ == "__main__":
    sys.exit(main())
