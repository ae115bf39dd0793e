#!/usr/bin/env python3
"""The operator's manual against the program it describes.

    check_manual.py <source root> <built manual dir>

Every picture a page names must be in the built manual, every page it links to
must exist, and every back-quoted text (a text the console shows) must be one of
the program's texts: a string of its C++ sources or forms, where "%1" stands for
any value, or a part of one. Exits 1 naming each text or picture that is not.
Then it checks itself: a page quoting a text the program does not have, naming
a picture that was not made or linking to a page that is not there is caught.
"""
import re
import shutil
import sys
import tempfile
import xml.etree.ElementTree as ElementTree
from pathlib import Path

# The folders whose texts the operator sees; the demo's and the tests' are not the console's.
PROGRAM_DIRS = ["app", "orders", "menu", "config", "widgets", "db", "broker"]
ESCAPES = {"n": "\n", "t": "\t", '"': '"', "'": "'", "\\": "\\", "?": "?", "0": "\0"}

QUOTED = re.compile(r"`([^`]+)`")
PICTURE = re.compile(r"^!\[[^\]]*\]\(([^)\s]+)\)$", re.M)
LINK = re.compile(r"\]\(([^)\s#]+\.md)(?:#[^)]*)?\)")


def cpp_strings(text):
    """The string literals of a C++ source, adjacent ones joined, comments skipped."""
    strings, current, i, n = [], None, 0, len(text)
    while i < n:
        c = text[i]
        if text.startswith("//", i):
            i = text.find("\n", i)
            i = n if i < 0 else i
        elif text.startswith("/*", i):
            i = text.find("*/", i + 2)
            i = n if i < 0 else i + 2
        elif c == '"':
            value, i = [], i + 1
            while i < n and text[i] != '"':
                if text[i] == "\\" and i + 1 < n:
                    value.append(ESCAPES.get(text[i + 1], text[i + 1]))
                    i += 2
                else:
                    value.append(text[i])
                    i += 1
            i += 1
            current = (current or "") + "".join(value)
        elif c == "'":
            # A character literal; its quote must not open a string.
            end = i + 1
            while end < n and text[end] != "'":
                end += 2 if text[end] == "\\" else 1
            i = end + 1
        elif c.isspace():
            i += 1
        else:
            if current is not None:
                strings.append(current)
                current = None
            i += 1
    if current is not None:
        strings.append(current)
    return strings


def program_texts(root):
    texts = []
    for folder in PROGRAM_DIRS:
        for source in sorted((root / folder).rglob("*")):
            if source.suffix in (".cpp", ".h"):
                texts += cpp_strings(source.read_text(encoding="utf-8"))
    for form in sorted((root / "forms").glob("*.ui")):
        texts += [e.text for e in ElementTree.parse(form).iter("string") if e.text]
    # A box of several lines is read, and quoted, a line at a time.
    texts += [line for text in texts if "\n" in text for line in text.split("\n")]
    return [" ".join(text.split()) for text in texts if text.strip()]


def matches(quote, texts, patterns):
    quote = " ".join(quote.split())
    part = re.compile(r"(?<!\w)%s(?!\w)" % re.escape(quote))
    return any(part.search(text) for text in texts) or any(p.fullmatch(quote) for p in patterns)


def pattern(text):
    """A text with "%1" and the like, as a pattern; none when too little of it is fixed
    (a bare "%1 %2" would take any quote)."""
    parts = re.split(r"(%\d)", text)
    fixed = "".join(part for part in parts if not re.fullmatch(r"%\d", part))
    if len(parts) == 1 or len(re.findall(r"[^\W\d_]", fixed)) < 4:
        return None
    return re.compile("".join(".+" if re.fullmatch(r"%\d", part) else re.escape(part) for part in parts))


def problems(root, pages_dir, built_dir):
    texts = program_texts(root)
    patterns = [p for p in map(pattern, texts) if p]
    found = []
    for page in sorted(pages_dir.glob("*.md")):
        content = page.read_text(encoding="utf-8")
        for quote in QUOTED.findall(content):
            if not matches(quote, texts, patterns):
                found.append('%s quotes "%s", which the program does not show' % (page.name, quote))
        for picture in PICTURE.findall(content):
            if not (built_dir / picture).is_file():
                found.append("%s names the picture %s, which is not in %s" % (page.name, picture, built_dir))
        for target in LINK.findall(content):
            if not (pages_dir / target).is_file():
                found.append("%s links to %s, which is not a page" % (page.name, target))
    return found


def selftest(root, pages_dir, built_dir):
    with tempfile.TemporaryDirectory() as tmp:
        pages = Path(tmp)
        for page in pages_dir.glob("*.md"):
            shutil.copy(page, pages)
        (pages / "drift.md").write_text(
            "# Drift\n\nQuando aparece `A impressora pegou fogo!`, desligue.\n\n![O forno](forno.png)\n"
            "Veja [a página que sumiu](sumiu.md). `Confirma aprovar pedido 10236` vale.\n",
            encoding="utf-8")
        found = problems(root, pages, built_dir)
    expected = ['quotes "A impressora pegou fogo!"', "forno.png", "sumiu.md"]
    missed = [e for e in expected if not any(e in p for p in found)]
    if missed or len(found) != len(expected):
        print("check_manual: the self-test expected exactly %s, got:" % expected)
        print("\n".join("  " + p for p in found))
        return 1
    print("check_manual: a made-up text, a missing picture and a missing page are caught")
    return 0


def main(argv):
    if len(argv) != 3:
        sys.exit(__doc__)
    root, built_dir = Path(argv[1]), Path(argv[2])
    pages_dir = root / "docs" / "manual"
    found = problems(root, pages_dir, built_dir)
    for problem in found:
        print("check_manual: " + problem)
    if not found:
        print("check_manual: every text the manual quotes is the program's, every picture is built")
    return 1 if found or selftest(root, pages_dir, built_dir) else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
