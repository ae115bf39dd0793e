#!/usr/bin/env python3
"""Builds the operator's manual: docs/manual/*.md to HTML, with the pictures the
pages name copied beside them.

    mkmanual.py <pages dir> <pictures dir> <output dir>

The pages use a small part of Markdown, nothing else is recognised:
  # / ## / ###        headings (the first "# " of a page is its title)
  - item, 1. item     lists, one level
  > text              a note set apart
  ![legenda](x.png)   a picture, alone on its line, from the pictures dir
  **bold**, [texto](pagina.md), `texto da tela`
Back-quoted text is a text the console shows, word for word; tests/manual
checks that each one is in the program's sources.
"""
import html
import re
import shutil
import sys
from pathlib import Path

PICTURE = re.compile(r"^!\[([^\]]*)\]\(([^)\s]+)\)$")
INLINE = re.compile(r"`([^`]+)`|\*\*(.+?)\*\*|\[([^\]]+)\]\(([^)\s]+)\)")

STYLE = """body { font-family: sans-serif; max-width: 46em; margin: 1em auto; padding: 0 1em; line-height: 1.45; }
h1 { color: #8b1a1a; } h2 { border-bottom: 1px solid #ccc; }
.tela { font-family: monospace; background: #f2f2f2; border: 1px solid #ddd; padding: 0 .25em; }
.nota { background: #fff6d6; border-left: 4px solid #e0b000; padding: .5em .8em; }
figure { margin: 1em 0; } figure img { max-width: 100%; border: 1px solid #bbb; }
figcaption { font-size: .9em; color: #555; }
nav { font-size: .9em; margin: 1em 0; }
@media print { nav { display: none; } }
"""


def inline(text):
    out, pos = [], 0
    for m in INLINE.finditer(text):
        out.append(html.escape(text[pos:m.start()], quote=False))
        code, bold, label, target = m.groups()
        if code is not None:
            out.append('<span class="tela">%s</span>' % html.escape(code, quote=False))
        elif bold is not None:
            out.append("<strong>%s</strong>" % html.escape(bold, quote=False))
        else:
            href = re.sub(r"\.md(#|$)", r".html\1", target)
            out.append('<a href="%s">%s</a>' % (html.escape(href), html.escape(label, quote=False)))
        pos = m.end()
    out.append(html.escape(text[pos:], quote=False))
    return "".join(out)


def convert(lines):
    """HTML body of a page, its title and the pictures it names."""
    body, pictures, title = [], [], None
    paragraph, list_tag = [], None

    def flush():
        nonlocal list_tag
        if paragraph:
            body.append("<p>%s</p>" % inline(" ".join(paragraph)))
            paragraph.clear()
        if list_tag:
            body.append("</%s>" % list_tag)
            list_tag = None

    for raw in lines:
        line = raw.strip()
        heading = re.match(r"^(#{1,3}) (.+)$", line)
        item = re.match(r"^(-|\d+\.) (.+)$", line)
        picture = PICTURE.match(line)
        if not line:
            flush()
        elif heading:
            flush()
            level = len(heading.group(1))
            if level == 1 and title is None:
                title = heading.group(2)
            body.append("<h%d>%s</h%d>" % (level, inline(heading.group(2)), level))
        elif picture:
            flush()
            caption, name = picture.groups()
            pictures.append(name)
            body.append('<figure><img src="%s" alt="%s"><figcaption>%s</figcaption></figure>'
                        % (html.escape(name), html.escape(caption), inline(caption)))
        elif item:
            if paragraph:
                body.append("<p>%s</p>" % inline(" ".join(paragraph)))
                paragraph.clear()
            tag = "ul" if item.group(1) == "-" else "ol"
            if list_tag != tag:
                if list_tag:
                    body.append("</%s>" % list_tag)
                body.append("<%s>" % tag)
                list_tag = tag
            body.append("<li>%s</li>" % inline(item.group(2)))
        elif line.startswith("> "):
            flush()
            body.append('<p class="nota">%s</p>' % inline(line[2:]))
        elif list_tag and raw.startswith("  "):
            # A list item continued on the next line.
            body[-1] = body[-1][:-len("</li>")] + " " + inline(line) + "</li>"
        else:
            if list_tag:
                flush()
            paragraph.append(line)
    flush()
    return "\n".join(body), title, pictures


def page(title, body, is_index):
    nav = "" if is_index else '<nav><a href="index.html">&larr; Índice do manual</a></nav>'
    return ("<!DOCTYPE html>\n<html lang=\"pt-BR\">\n<head>\n<meta charset=\"utf-8\">\n"
            "<title>%s</title>\n<link rel=\"stylesheet\" href=\"manual.css\">\n</head>\n<body>\n%s\n%s\n%s\n"
            "</body>\n</html>\n" % (html.escape(title), nav, body, nav))


def main(argv):
    if len(argv) != 4:
        sys.exit("usage: mkmanual.py <pages dir> <pictures dir> <output dir>")
    pages, pictures_dir, out = (Path(a) for a in argv[1:])
    # A page or picture dropped from the manual must not linger in the package.
    if out.exists():
        shutil.rmtree(out)
    out.mkdir(parents=True)
    missing, bodies = [], {}
    for source in sorted(pages.glob("*.md")):
        body, title, pictures = convert(source.read_text(encoding="utf-8").splitlines())
        if title is None:
            missing.append("%s has no \"# \" title" % source.name)
            continue
        bodies[source.stem] = body
        for name in pictures:
            if (pictures_dir / name).is_file():
                shutil.copyfile(pictures_dir / name, out / name)
            else:
                missing.append("%s names %s, which the form renderer did not make" % (source.name, name))
        (out / (source.stem + ".html")).write_text(page(title, body, source.stem == "index"), encoding="utf-8")
    if "index" not in bodies:
        missing.append("%s has no index.md" % pages)
    if missing:
        # Nothing left behind that the next build could take for a finished manual.
        shutil.rmtree(out)
        sys.exit("mkmanual: " + "\nmkmanual: ".join(missing))
    # Every page on one, in the index's order, to print on paper or to PDF from the browser.
    order = ["index"] + [m.group(1) for m in re.finditer(r"\]\(([\w-]+)\.md\)", (pages / "index.md").read_text(
        encoding="utf-8")) if m.group(1) in bodies]
    order += [stem for stem in bodies if stem not in order]
    everything = "\n".join('<section id="%s">\n%s\n</section>' % (stem, re.sub(
        r'href="([\w-]+)\.html"', r'href="#\1"', bodies[stem])) for stem in order)
    (out / "completo.html").write_text(page("Manual do Console Trovanta (completo)", everything, False),
                                         encoding="utf-8")
    (out / "manual.css").write_text(STYLE, encoding="utf-8")


if __name__ == "__main__":
    main(sys.argv)
