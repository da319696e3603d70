#!/usr/bin/env python3
"""Lists the interface texts of lyb30: every localiser number the program
looks up, with the English text it passes as the default.

    lang_texts.py SOURCE_ROOT                 the texts, "id=English" lines
    lang_texts.py SOURCE_ROOT --check FILE..  checks language files (UTF-8
                                              "id=text" sources or UTF-16LE
                                              "lang.dat" files) against them

A check fails when a language file leaves a number of the program out,
gives a number the program never asks for, gives an empty text, or a menu
item's shortcut (after a tab) differs from the English one.

The texts are found in the sources as a number and a string literal that
follow an opening bracket or brace: Get(336, "..."), T(144, "..."),
UiText kReady{450, "Ready"}, Tip{300, "..."}; the menu's numbers are the
menu table's in walking order.
"""
import re
import sys
from pathlib import Path

SUBSYSTEMS = ["app", "cd", "library", "device", "player", "ui"]
LITERALS = r'((?:"(?:[^"\\\n]|\\.)*"\s*)+)'
# A number and the literal(s) after "(" or "{".
PAIR = re.compile(r'(?:[({]|\},|\{\s*[\w:]+,)\s*(\d{1,3})\s*,\s*' + LITERALS)
# The menu table: Item("text", "shortcut", kIdX, promptId, "prompt").
MENU_ITEM = re.compile(r'\bItem\(\s*' + LITERALS + r',\s*' + LITERALS + r',\s*kId\w+,\s*(\d+),\s*' + LITERALS + r'\)')
MENU_POPUP = re.compile(r'\bPopup\(\s*' + LITERALS)
MENU_SEPARATOR = re.compile(r'\bSeparator\(\)')
MENU_IDS = re.compile(r'kMenuTextIds\s*=\s*\{([^}]*)\}')


def unquote(literals):
    parts = re.findall(r'"((?:[^"\\\n]|\\.)*)"', literals)
    text = "".join(parts)
    return (text.replace('\\t', '\t').replace('\\n', '\n').replace('\\"', '"').replace('\\\\', '\\'))


def strip_comments(code):
    code = re.sub(r'/\*.*?\*/', '', code, flags=re.S)
    return re.sub(r'//[^\n]*', '', code)


def menu_texts(root):
    """(id, text) of the main menu, in walking order."""
    code = strip_comments((root / "ui/shell/main_commands.cpp").read_text(encoding="utf-8"))
    body = code[code.index("MainMenu()"):]
    tokens = []
    for m in re.finditer(r'\bItem\(|\bPopup\(|\bSeparator\(\)', body):
        if m.group(0).startswith("Separator"):
            tokens.append(("sep", None, None, None))
        elif m.group(0).startswith("Popup"):
            p = MENU_POPUP.match(body, m.start())
            tokens.append(("popup", unquote(p.group(1)), "", None))
        else:
            i = MENU_ITEM.match(body, m.start())
            if i:
                tokens.append(("item", unquote(i.group(1)), unquote(i.group(2)), (int(i.group(3)), unquote(i.group(4)))))
    loc = strip_comments((root / "app/localize.cpp").read_text(encoding="utf-8"))
    ids = [int(x) for x in re.findall(r'\d+', MENU_IDS.search(loc).group(1))]
    out, prompts = [], []
    for n, (kind, text, shortcut, prompt) in enumerate(tokens):
        if n < len(ids) and ids[n] and kind != "sep":
            out.append((ids[n], text + ("\t" + shortcut if shortcut else "")))
        if prompt:
            prompts.append(prompt)
    return out, prompts


def program_texts(root):
    texts = {}
    where = {}

    def add(num, text, origin):
        if num in texts and texts[num] != text:
            raise SystemExit(f"text {num} has two English texts: {texts[num]!r} ({where[num]}) and {text!r} ({origin})")
        texts[num] = text
        where[num] = origin

    for sub in SUBSYSTEMS:
        for path in sorted((root / sub).rglob("*")):
            if path.suffix not in (".cpp", ".h"):
                continue
            code = strip_comments(path.read_text(encoding="utf-8"))
            for m in PAIR.finditer(code):
                num = int(m.group(1))
                if 0 <= num < 500:
                    add(num, unquote(m.group(2)), str(path.relative_to(root)))
    menu, prompts = menu_texts(root)
    for num, text in menu + prompts:
        add(num, text, "menu")
    return texts


def read_language(path):
    data = Path(path).read_bytes()
    if path.endswith(".dat"):
        text = data.decode("utf-16-le")
        lines = text.split("\r\n")
    else:
        lines = data.decode("utf-8").split("\n")
    table = {}
    for line in lines:
        if "=" not in line:
            continue
        key, value = line.split("=", 1)
        if key.strip().startswith("#") or key.strip().startswith(";"):
            continue
        m = re.match(r'\d+', key)
        table[int(m.group(0)) if m else 0] = value
    return table


# Numbers the localiser fills with the site address itself.
FIXED = {6, 155, 182, 413}


def check(texts, path):
    table = read_language(path)
    problems = []
    for num in sorted(texts):
        if num in FIXED:
            continue
        if num not in table:
            problems.append(f"{num} is missing ({texts[num]!r})")
        elif not table[num]:
            problems.append(f"{num} is empty")
        elif "\t" in texts[num] and table[num].split("\t", 1)[-1] != texts[num].split("\t", 1)[1]:
            problems.append(f"{num} shows the keys {table[num]!r}, the program {texts[num]!r}")
    for num in sorted(table):
        if num not in texts and num not in FIXED:
            problems.append(f"{num} is not a text of the program ({table[num]!r})")
    return problems


def main(argv):
    if len(argv) < 2:
        print(__doc__)
        return 2
    texts = program_texts(Path(argv[1]))
    if len(argv) > 2 and argv[2] == "--check":
        failed = False
        kinds = {"missing": 0, "keys": 0, "unknown": 0, "empty": 0}
        for path in argv[3:]:
            for p in check(texts, path):
                print(f"{path}: {p}")
                failed = True
                kinds["missing" if "is missing" in p else "keys" if "shows the keys" in p else
                      "unknown" if "not a text" in p else "empty"] += 1
        summary = ", ".join(f"{n} {k}" for k, n in kinds.items())
        print(f"{len(texts)} texts; {len(argv) - 3} language file(s) {'FAILED: ' + summary if failed else 'complete'}")
        return 1 if failed else 0
    for num in sorted(texts):
        print(f"{num}={texts[num]}".replace("\n", "\\n"))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
