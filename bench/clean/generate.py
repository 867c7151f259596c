#!/usr/bin/env python3
"""Generates the clean-text benchmark: texts that are correct as they stand
and must come out of KAMVO byte for byte, each in its own code page with that
code page as the target, and mails whose attachments must come out
byte-exact.

Usage: generate.py OUTDIR [--count N] [--seed S]

Writes OUTDIR/<target>/<kind>-<n>.txt for the texts (target: utf-8, cp1251,
cp866), OUTDIR/mail/<n>/message.eml with OUTDIR/mail/<n>/expected/<name>
for the mails' attachments and expected/body.txt for a piece of the body as
the target (UTF-8) must show it, and OUTDIR/manifest.tsv (one line a text:
path, kind). The same seed and count give the same files.
"""

import argparse
import base64
import gettext
import glob
import os
import random
import re
import sys
from email.message import EmailMessage
from email import policy

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from corpus_other import LANGUAGES  # noqa: E402

FORTUNES = "/usr/share/games/fortunes/ru"
FORTUNES_BG = "/usr/share/games/fortunes/bg"
LICENSES = "/usr/share/common-licenses"

# Share of each kind in a benchmark of `count` texts (mails are counted
# apart: count // 50 of them).
KINDS = [
    ("fortune-utf8", 0.24),
    ("fortune-cp1251", 0.18),
    ("fortune-extra", 0.10),
    ("short", 0.14),
    ("english", 0.05),
    ("source", 0.09),
    ("other-cyrillic", 0.14),
    ("cp866-table", 0.04),
    ("caps", 0.02),
]


def read_fortunes(folder):
    texts = []
    for path in sorted(glob.glob(os.path.join(folder, "*.u8"))):
        with open(path, encoding="utf-8", errors="replace") as f:
            for piece in f.read().split("\n%\n"):
                piece = piece.strip("\n%")
                if piece.strip() and "\ufffd" not in piece:
                    texts.append(piece + "\n")
    return texts


def read_catalog_sentences(language):
    """Translated interface sentences of the installed packages."""
    out = []
    for path in sorted(glob.glob(f"/usr/share/locale/{language}/LC_MESSAGES/*.mo"))[:40]:
        try:
            with open(path, "rb") as f:
                catalog = gettext.GNUTranslations(f)._catalog
        except Exception:
            continue
        for value in catalog.values():
            if isinstance(value, str) and 20 <= len(value) <= 200 and re.search("[а-яА-Я]", value):
                if "%" not in value and "\\" not in value and "<" not in value:
                    out.append(value.replace("\n", " "))
    return out


def modern_typography(text, rng, cp1251):
    """Dashes, guillemets, ellipses and the signs people type today."""
    text = re.sub(r"(?m)^(\s*)--? ", lambda m: m.group(1) + "— ", text)
    text = text.replace(" - ", " — " if rng.random() < 0.8 else " – ")
    text = text.replace("\t\t-- ", "\t\t— ")
    text = text.replace("...", "…")
    if rng.random() < 0.7:
        text = re.sub(r'"([^"\n]*)"', lambda m: "«" + m.group(1) + "»", text)
    elif rng.random() < 0.5:
        text = re.sub(r'"([^"\n]*)"', lambda m: "„" + m.group(1) + "“", text)
    extras = ["Цена 5 € за штуку.", "Рост на 3 ‰ за год.", "Температура ±2 °C.", "См. § 12, п. 3.",
              "Заказ № 15 готов.", "Итого: 100\u00a0руб.", "Он сказал: “да”.", "Скидка 10 % — до пятницы."]
    if rng.random() < 0.5:
        text = text.rstrip("\n") + "\n" + rng.choice(extras) + "\n"
    if rng.random() < 0.3:
        text = text.replace(" — ", "\u00a0— ", 1)
    return text


NAMES = ["Shakespeare", "Einstein", "Microsoft Word", "Linux", "GitHub", "iPhone", "Python 3.11", "New York"]
GREEK = ["α", "β", "γ", "π ≈ 3,14", "Δx", "λ", "Ω"]
EMOJI = ["😀", "👍", "🎉", "❤️", "🙂", "🚀", "✅"]


def add_foreign(text, rng):
    lines = text.rstrip("\n").split("\n")
    i = rng.randrange(len(lines))
    choice = rng.random()
    if choice < 0.4:
        lines[i] += " " + rng.choice(EMOJI)
    elif choice < 0.7:
        lines[i] += " (" + rng.choice(GREEK) + ")"
    else:
        lines[i] = lines[i] + " — " + rng.choice(NAMES)
    return "\n".join(lines) + "\n"


def fits(text, codec):
    try:
        text.encode(codec)
        return True
    except UnicodeEncodeError:
        return False


def short_text(fortunes, rng, cp1251):
    """One to five words of a fortune, alone on a line or a few lines."""
    words = re.findall(r"[А-Яа-яЁё]+(?:-[А-Яа-яЁё]+)?[,.!?]?", rng.choice(fortunes))
    if not words:
        return "Привет.\n"
    n = rng.randint(1, 5)
    start = rng.randrange(max(1, len(words) - n + 1))
    line = " ".join(words[start:start + n])
    if rng.random() < 0.25:
        line = line.upper()
    if rng.random() < 0.3:
        line = rng.choice(["— ", "«", "", "• "]) + line + rng.choice(["", "»", " …", "."])
    return line + "\n"


def caps_text(fortunes, rng):
    text = rng.choice(fortunes)
    lines = text.rstrip("\n").split("\n")
    i = rng.randrange(len(lines))
    lines[i] = lines[i].upper()
    if rng.random() < 0.5:
        lines.insert(0, "ВНИМАНИЕ! ВАЖНОЕ СООБЩЕНИЕ")
    return "\n".join(lines) + "\n"


def english_text(licenses, rng):
    text = rng.choice(licenses)
    lines = text.split("\n")
    start = rng.randrange(max(1, len(lines) - 30))
    return "\n".join(lines[start:start + rng.randint(3, 30)]) + "\n"


def source_text(fortunes, rng):
    comment = rng.choice(fortunes).split("\n")[0].strip()[:70] or "Комментарий"
    kind = rng.choice(["c", "cpp", "py", "sh"])
    if kind == "c":
        return ("#include <stdio.h>\n#include <stdlib.h>\n\n/* " + comment + " */\n"
                "int main(int argc, char **argv) {\n    printf(\"%02x %5d\\n\", argc, 42);\n"
                "    return a<b ? 0 : 1; // сравнение\n}\n")
    if kind == "cpp":
        return ("#include <vector>\n#include <string>\n\n// " + comment + "\n"
                "template <typename T> std::vector<T> f(const std::vector<T>& v) {\n"
                "    return v.size() > 0 && v[0] < v[1] ? v : std::vector<T>{};\n}\n")
    if kind == "py":
        return ("#!/usr/bin/env python3\n# " + comment + "\nimport sys\n\n"
                "def main():\n    print(\"Привет, %s!\" % sys.argv[0])  # приветствие\n"
                "    return 0 if len(sys.argv) < 3 else 1\n")
    return ("#!/bin/sh\n# " + comment + "\nNAME=\nVALUE=1\nURL=\"https://example.com/?a=1&b=2\"\n"
            "echo \"Готово: $NAME $VALUE\" > /dev/null\n")


def other_cyrillic(rng, extra):
    language = rng.choice(list(LANGUAGES))
    pool = LANGUAGES[language] + extra.get(language, [])
    n = rng.randint(1, 6)
    return language, "\n".join(rng.choice(pool) for _ in range(n)) + "\n"


def cp866_table(fortunes, rng):
    words = re.findall(r"[А-Яа-яЁё]{3,}", rng.choice(fortunes)) or ["Товар"]
    rows = [(rng.choice(words), str(rng.randint(1, 999))) for _ in range(rng.randint(2, 6))]
    width = max(len(w) for w, _ in rows) + 2
    top = "┌" + "─" * width + "┬──────┐"
    mid = "├" + "─" * width + "┼──────┤"
    bottom = "└" + "─" * width + "┴──────┘"
    body = ["│ " + w.ljust(width - 1) + "│ " + n.rjust(4) + " │" for w, n in rows]
    title = rng.choice(["Таблица по русскому языку", "Список товаров на складе", "Отчёт за месяц"])
    return title + "\r\n" + top + "\r\n" + ("\r\n" + mid + "\r\n").join(body) + "\r\n" + bottom + "\r\n"


def mail(rng, fortunes, index):
    """A message as mail programs send it, with the attachments it carries."""
    msg = EmailMessage()
    subject = rng.choice(fortunes).split("\n")[0][:50]
    msg["Subject"] = subject
    msg["From"] = "Иван Петров <ivan@example.ru>"
    msg["To"] = "maria@example.com"
    body = "".join(rng.choice(fortunes) for _ in range(rng.randint(1, 3)))
    cte = rng.choice(["quoted-printable", "base64", "8bit"])
    charset = rng.choice(["utf-8", "koi8-r", "windows-1251"])
    if not fits(body, charset):
        charset = "utf-8"
    msg.set_content(body, charset=charset, cte=cte)
    attachments = {}
    for n in range(rng.randint(1, 3)):
        data = bytes(rng.getrandbits(8) for _ in range(rng.randint(1, 3000)))
        name = rng.choice(["data", "photo", "report", "отчёт", "письмо"]) + f"-{index}-{n}" + rng.choice(
            [".bin", ".jpg", ".pdf", ".zip"])
        msg.add_attachment(data, maintype="application", subtype="octet-stream", filename=name)
        attachments[name] = data
    raw = msg.as_bytes(policy=policy.SMTP)
    if rng.random() < 0.3:
        # A UUE block pasted into the text, as old mailers sent files.
        data = bytes(rng.getrandbits(8) for _ in range(rng.randint(1, 500)))
        name = f"old-{index}.dat"
        raw = raw.rstrip(b"\r\n") + b"\r\n\r\n" + uuencode(data, name) + b"\r\n"
        attachments[name] = data
    return raw, attachments, body


def uuencode(data, name):
    out = [f"begin 644 {name}".encode()]
    for i in range(0, len(data), 45):
        chunk = data[i:i + 45]
        line = bytes([32 + len(chunk)])
        padded = chunk + b"\0" * (-len(chunk) % 3)
        for j in range(0, len(padded), 3):
            a, b, c = padded[j:j + 3]
            for v in (a >> 2, ((a & 3) << 4) | (b >> 4), ((b & 15) << 2) | (c >> 6), c & 63):
                line += bytes([32 + v if v else 96])
        out.append(line)
    out += [b"`", b"end"]
    return b"\r\n".join(out)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("outdir")
    parser.add_argument("--count", type=int, default=10000)
    parser.add_argument("--seed", type=int, default=20)
    args = parser.parse_args()
    rng = random.Random(args.seed)
    fortunes = read_fortunes(FORTUNES)
    if not fortunes:
        sys.exit("fortunes-ru is not installed (apt-get install fortunes-ru)")
    extra = {lang: read_catalog_sentences(lang) for lang in LANGUAGES}
    extra["bg"] = extra.get("bg", []) + [t.replace("\n", " ").strip() for t in read_fortunes(FORTUNES_BG)
                                        if len(t) < 300]
    licenses = []
    for path in sorted(glob.glob(os.path.join(LICENSES, "*"))):
        if os.path.isfile(path):
            with open(path, encoding="utf-8", errors="replace") as f:
                licenses.append(f.read())

    manifest = []

    def write(target, kind, n, text, codec):
        folder = os.path.join(args.outdir, target)
        os.makedirs(folder, exist_ok=True)
        path = os.path.join(folder, f"{kind}-{n}.txt")
        with open(path, "wb") as f:
            f.write(text.encode(codec))
        manifest.append((os.path.relpath(path, args.outdir), kind))

    for kind, share in KINDS:
        for n in range(int(args.count * share)):
            if kind == "fortune-utf8":
                write("utf-8", kind, n, modern_typography(rng.choice(fortunes), rng, False), "utf-8")
            elif kind == "fortune-cp1251":
                text = modern_typography(rng.choice(fortunes), rng, True)
                if not fits(text, "cp1251"):
                    text = rng.choice([t for t in fortunes[:500] if fits(t, "cp1251")])
                write("cp1251", kind, n, text, "cp1251")
            elif kind == "fortune-extra":
                write("utf-8", kind, n, add_foreign(modern_typography(rng.choice(fortunes), rng, False), rng),
                      "utf-8")
            elif kind == "short":
                text = short_text(fortunes, rng, n % 2)
                if n % 2 and fits(text, "cp1251"):
                    write("cp1251", kind, n, text, "cp1251")
                else:
                    write("utf-8", kind, n, text, "utf-8")
            elif kind == "caps":
                text = caps_text(fortunes, rng)
                codec = "cp1251" if n % 2 and fits(text, "cp1251") else "utf-8"
                write(codec, kind, n, text, codec)
            elif kind == "english":
                write("utf-8", kind, n, english_text(licenses, rng), "utf-8")
            elif kind == "source":
                text = source_text(fortunes, rng)
                codec = "cp1251" if n % 2 and fits(text, "cp1251") else "utf-8"
                write(codec, kind, n, text, codec)
            elif kind == "other-cyrillic":
                language, text = other_cyrillic(rng, extra)
                codec = "cp1251" if n % 2 and fits(text, "cp1251") else "utf-8"
                write(codec, f"{kind}-{language}", n, text, codec)
            elif kind == "cp866-table":
                write("cp866", kind, n, cp866_table(fortunes, rng), "cp866")

    for n in range(max(1, args.count // 50)):
        raw, attachments, body = mail(rng, fortunes, n)
        folder = os.path.join(args.outdir, "mail", str(n))
        os.makedirs(os.path.join(folder, "expected"), exist_ok=True)
        with open(os.path.join(folder, "message.eml"), "wb") as f:
            f.write(raw)
        for name, data in attachments.items():
            with open(os.path.join(folder, "expected", name), "wb") as f:
                f.write(data)
        # The first line of the body, as a UTF-8 target must show it.
        first = next((line for line in body.split("\n") if line.strip()), "")
        with open(os.path.join(folder, "body.txt"), "w", encoding="utf-8") as f:
            f.write(first.strip())

    with open(os.path.join(args.outdir, "manifest.tsv"), "w", encoding="utf-8") as f:
        for path, kind in manifest:
            f.write(f"{path}\t{kind}\n")
    print(f"{len(manifest)} texts and {max(1, args.count // 50)} mails in {args.outdir}")


if __name__ == "__main__":
    main()
