#!/usr/bin/env python3
"""Generates the wild-mojibake benchmark: real Russian (fortunes-ru) and
Ukrainian texts damaged the ways programs damage them, each step by
Python's codecs, with the text each file must come back to.

Usage: generate.py OUTDIR [--per-form N] [--seed S]
Writes OUTDIR/FORM/N.txt (the damaged bytes), OUTDIR/FORM/N.expected (the
text in UTF-8) and OUTDIR/manifest.tsv (path, form, words).
"""

import argparse
import codecs
import glob
import os
import random
import re
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "clean"))
from corpus_other import UKRAINIAN  # noqa: E402
from generate import read_catalog_sentences  # noqa: E402

FORTUNES = "/usr/share/games/fortunes/ru"
RUSSIAN_PAGES = ["cp1251", "cp866", "koi8_r", "iso8859_5"]


def web(codec):
    """A single-byte code page as browsers and databases read it: a byte
    the code page leaves undefined becomes the C1 control of its value."""
    def decode(data):
        out = []
        for b in data:
            try:
                out.append(bytes([b]).decode(codec))
            except UnicodeDecodeError:
                out.append(chr(b))
        return "".join(out)
    return decode


def encoded(text, codec):
    try:
        return text.encode(codec)
    except UnicodeEncodeError:
        return None


def as_utf8(data, read_as):
    """Bytes read in a wrong code page and saved as UTF-8."""
    return web(read_as)(data).encode("utf-8")


def wrong_conversions(text, rng, count):
    """The text in one code page converted `count` times as if it were in
    another, by the published tables; None when a step meets a character
    its target lacks."""
    code = rng.choice(RUSSIAN_PAGES)
    data = encoded(text, code)
    if data is None:
        return None
    for _ in range(count):
        source = rng.choice([c for c in RUSSIAN_PAGES if c != code])
        target = rng.choice([c for c in RUSSIAN_PAGES if c != source])
        try:
            data = data.decode(source).encode(target)
        except (UnicodeDecodeError, UnicodeEncodeError):
            return None
        code = target
    return data


def with_signs(text, rng, codec):
    """The text with signs its code page holds."""
    signs = {"iso8859_5": ["№ 5", "§ 3", "12\u00a0руб."],
             "koi8_r": ["20 °C", "x² + y²", "©\u00a02024", "5\u00a0кг", "a·b", "±"]}[codec]
    words = text.rstrip("\n").split(" ")
    for _ in range(2):
        words.insert(rng.randrange(len(words) + 1), rng.choice(signs))
    return " ".join(words) + "\n"


# Each form: (name, language, damage). damage(text, rng) gives the bytes
# of the damaged file, or None when the text cannot take that damage.
FORMS = [
    ("cp1251-as-cp1252-utf8", "ru", lambda t, r: as_utf8(encoded(t, "cp1251"), "cp1252")),
    ("cp1251-as-latin1-utf8", "ru", lambda t, r: as_utf8(encoded(t, "cp1251"), "latin-1")),
    ("utf8-as-cp1252-utf8", "ru", lambda t, r: as_utf8(t.encode("utf-8"), "cp1252")),
    ("utf8-as-cp1251-utf8", "ru", lambda t, r: as_utf8(t.encode("utf-8"), "cp1251")),
    ("utf8-as-koi8r-utf8", "ru", lambda t, r: as_utf8(t.encode("utf-8"), "koi8_r")),
    ("koi8r-as-cp1251", "ru", lambda t, r: encoded(t, "koi8_r")),
    ("koi8r-as-cp1251-utf8", "ru", lambda t, r: as_utf8(encoded(t, "koi8_r"), "cp1251")),
    ("cp866-as-cp1251-utf8", "ru", lambda t, r: as_utf8(encoded(t, "cp866"), "cp1251")),
    ("iso8859-5-signs", "ru", lambda t, r: encoded(with_signs(t, r, "iso8859_5"), "iso8859_5")),
    ("koi8r-signs", "ru", lambda t, r: encoded(with_signs(t, r, "koi8_r"), "koi8_r")),
    ("two-wrong", "ru", lambda t, r: wrong_conversions(t, r, 2)),
    ("three-wrong", "ru", lambda t, r: wrong_conversions(t, r, 3)),
    ("mac-cyrillic", "ru", lambda t, r: encoded(t, "mac_cyrillic")),
    ("uk-koi8u", "uk", lambda t, r: encoded(t, "koi8_u")),
    ("uk-cp1251", "uk", lambda t, r: encoded(t, "cp1251")),
    ("uk-cp1125", "uk", lambda t, r: encoded(t, "cp1125")),
    ("uk-mac-cyrillic", "uk", lambda t, r: encoded(t, "mac_cyrillic")),
    ("uk-utf8-as-cp1251-utf8", "uk", lambda t, r: as_utf8(t.encode("utf-8"), "cp1251")),
]

# Forms whose damage keeps signs the text holds: a text is given its
# signs by the damage itself.
SIGNED = {"iso8859-5-signs", "koi8r-signs"}


def read_fortunes():
    texts = []
    for path in sorted(glob.glob(os.path.join(FORTUNES, "*.u8"))):
        with open(path, encoding="utf-8", errors="replace") as f:
            for piece in f.read().split("\n%\n"):
                piece = piece.strip("\n%")
                words = len(piece.split())
                if 8 <= words <= 80 and "\ufffd" not in piece and encoded(piece, "cp1251"):
                    texts.append(piece + "\n")
    return texts


def ukrainian_texts(rng, count):
    """Texts of two to five Ukrainian sentences: the written ones and the
    installed programs' translated messages."""
    catalog = [s for s in read_catalog_sentences("uk") if re.search("[іїєґІЇЄҐ]", s)]
    sentences = UKRAINIAN * max(1, len(catalog) // len(UKRAINIAN)) + catalog
    texts = []
    while len(texts) < count:
        text = " ".join(rng.sample(sentences, rng.randint(2, 4)))
        if len(text.split()) >= 8:
            texts.append(text + "\n")
    return texts


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("outdir")
    parser.add_argument("--per-form", type=int, default=100)
    parser.add_argument("--seed", type=int, default=22)
    args = parser.parse_args()
    rng = random.Random(args.seed)
    fortunes = read_fortunes()
    if not fortunes:
        sys.exit("fortunes-ru is not installed (apt-get install fortunes-ru)")
    pools = {"ru": fortunes, "uk": ukrainian_texts(rng, 2000)}
    manifest = []
    for form, language, damage in FORMS:
        folder = os.path.join(args.outdir, form)
        os.makedirs(folder, exist_ok=True)
        made = tries = 0
        while made < args.per_form and tries < args.per_form * 50:
            tries += 1
            text = rng.choice(pools[language])
            state = rng.getstate()
            data = damage(text, rng)
            if data is None:
                continue
            if form in SIGNED:  # the signs went into the text before the damage
                rng.setstate(state)
                text = with_signs(text, rng, "iso8859_5" if form.startswith("iso") else "koi8_r")
            path = os.path.join(folder, f"{made}.txt")
            with open(path, "wb") as f:
                f.write(data)
            with open(os.path.join(folder, f"{made}.expected"), "w", encoding="utf-8") as f:
                f.write(text)
            manifest.append((os.path.relpath(path, args.outdir), form, len(text.split())))
            made += 1
    with open(os.path.join(args.outdir, "manifest.tsv"), "w", encoding="utf-8") as f:
        for path, form, words in manifest:
            f.write(f"{path}\t{form}\t{words}\n")
    print(f"{len(manifest)} damaged texts in {args.outdir}")


if __name__ == "__main__":
    main()
