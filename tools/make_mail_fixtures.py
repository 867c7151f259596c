#!/usr/bin/env python3
"""Builds the test mails in tests/data/mail the way mail programs send them.

Python's email package writes each mail; the attachments it was given are
written beside it, and tests/data/mail/expected.txt says what converting
each mail into UTF-8 must give:

    mail NAME.eml       a mail
    line TEXT           a line the converted text must hold as it is
    file NAME BYTES     an attachment saved as NAME, byte for byte BYTES
    end

The mails are fixed (a fixed seed), so running this again gives the same
files: run it only when the set of mails is to change.
Usage: tools/make_mail_fixtures.py [output folder]
"""

import binascii
import email.encoders
import email.policy
import os
import random
import sys
from email.header import Header
from email.message import EmailMessage
from email.mime.application import MIMEApplication
from email.mime.multipart import MIMEMultipart
from email.mime.text import MIMEText

OUT = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
    os.path.dirname(os.path.abspath(__file__)), "..", "tests", "data", "mail")
rng = random.Random(20)
random.seed(20)  # the boundaries the email package draws
manifest = []


def random_bytes(n):
    return bytes(rng.randrange(256) for _ in range(n))


def boundaries(message):
    """The boundary lines of every multipart in the message."""
    lines = []
    for part in message.walk():
        if part.is_multipart():
            b = part.get_boundary()
            lines += ["--" + b, "--" + b + "--"]
    return lines


def save(name, message, lines, files, smtp=True):
    data = message.as_bytes(policy=email.policy.SMTP) if smtp else \
        message.as_bytes().replace(b"\n", b"\r\n")
    with open(os.path.join(OUT, name + ".eml"), "wb") as f:
        f.write(data)
    manifest.append("mail %s.eml" % name)
    # The header fields as Python's own parser reads them back (the
    # whitespace between encoded words goes).
    parsed = email.message_from_bytes(data, policy=email.policy.default)
    heads = ["%s: %s" % (name, parsed[name]) for name in ("Subject", "From", "To")]
    for line in heads + lines + boundaries(message):
        manifest.append("line " + line)
    for k, (file_name, payload) in enumerate(files, 1):
        stored = "%s.%d.bin" % (name, k)
        with open(os.path.join(OUT, stored), "wb") as f:
            f.write(payload)
        manifest.append("file %s %s" % (file_name, stored))
    manifest.append("end")


def text_lines(text):
    return [line for line in text.split("\n") if line]


os.makedirs(OUT, exist_ok=True)

# 1. A quoted-printable body in UTF-8 with long lines (soft breaks), Base64
#    attachments of every length modulo 3 (so the last lines end in "=",
#    "==" or nothing), one with a Cyrillic name in the RFC 2231 form.
body = ("Привет!\n"
        "Во вложении отчёт за квартал. Строка подлиннее, чтобы получился мягкий "
        "перенос строки в кодировке quoted-printable, и ещё немного текста.\n"
        "Цена 500 рублей, скидка 10 %, формула a=b+c.\n")
m = EmailMessage()
m["Subject"] = "Отчёт за квартал"
m["From"] = "Иван Петров <ivan@example.ru>"
m["To"] = "bob@example.com"
m.set_content(body, charset="utf-8", cte="quoted-printable")
files = [("отчёт.bin", random_bytes(80)), ("data.bin", random_bytes(301)),
         ("пустой файл.dat", random_bytes(79))]
for file_name, payload in files:
    m.add_attachment(payload, maintype="application", subtype="octet-stream", filename=file_name)
save("qp_base64", m, text_lines(body), files)

# 2. A KOI8-R mail as older mail programs send it: the text in Base64
#    (inline, so its text stands in the mail), the subject and the file
#    name as KOI8-R encoded words.
body = "Добрый день!\nПосылаю договор, посмотрите, пожалуйста.\nС уважением, Мария.\n"
m = MIMEMultipart()
m["Subject"] = Header("Договор на подпись", "koi8-r")
m["From"] = "maria@example.ru"
m["To"] = "boss@example.ru"
m.attach(MIMEText(body, "plain", "koi8-r"))
payload = random_bytes(1000)
part = MIMEApplication(payload, "octet-stream")
part.add_header("Content-Disposition", "attachment", filename=("koi8-r", "", "договор.doc"))
m.attach(part)
save("koi8_base64", m, text_lines(body), [("договор.doc", payload)],
     smtp=False)

# 3. Alternative text and HTML inside a mixed mail, a text attachment in
#    Base64 and a binary one, a long subject folded over several lines.
plain = "Сообщение в двух видах.\nЭта строка = не мягкий перенос=\nА %D0%BF здесь не URL.\n"
html = "<html><body><p>Сообщение в двух видах.</p></body></html>\n"
m = EmailMessage()
subject = "Очень длинная тема письма, которая не помещается в одну строку заголовка и переносится"
m["Subject"] = subject
m["From"] = "sender@example.org"
m["To"] = "Получатель <rcpt@example.org>"
m.set_content(plain, charset="utf-8", cte="quoted-printable")
m.add_alternative(html, subtype="html", charset="utf-8", cte="quoted-printable")
notes = "Заметки к письму.\r\nВторая строка.\r\n".encode("utf-8")
image = random_bytes(2000)
m.add_attachment(notes, maintype="text", subtype="plain", filename="заметки.txt")
m.add_attachment(image, maintype="image", subtype="png", filename="photo.png")
save("alternative", m, text_lines(plain), [("заметки.txt", notes), ("photo.png", image)])

# 4. A plain mail (no transfer encoding to undo) carrying a UUE block whose
#    lines hold %XX and =XX sequences.
while True:
    payload = random_bytes(450)
    uue = b"".join(binascii.b2a_uu(payload[i:i + 45]) for i in range(0, len(payload), 45)).decode("ascii")
    if "%9" in uue and any(c in uue for c in ("=C", "=D", "=E")):
        break
text = ("Файл в UUE.\n\nbegin 644 archive.bin\n" + uue + "`\nend\n\nКонец письма.\n")
m = EmailMessage()
m["Subject"] = "UUE"
m["From"] = "old@example.ru"
m["To"] = "new@example.ru"
m.set_content(text, charset="utf-8", cte="8bit")
save("uue_plain", m, ["Файл в UUE.", "begin 644 archive.bin", "`", "end", "Конец письма."],
     [("archive.bin", payload)])

# 5. UUE blocks inside encoded text parts: a block of two bytes (one short
#    line, whose trailing blank the quoted-printable part writes as =20) in
#    a quoted-printable part, and a block in a KOI8-R text part in Base64.
small = b"\x00\xff"
body = "Два байта:\n\nbegin 644 small.bin\n" + binascii.b2a_uu(small).decode("ascii") + "`\nend\n"
m = MIMEMultipart()
m["Subject"] = Header("Блоки UUE", "koi8-r")
m["From"] = "uue@example.ru"
m["To"] = "you@example.ru"
part = MIMEText(body, "plain", "koi8-r")
del part["Content-Transfer-Encoding"]
part.set_payload(body.encode("koi8-r"))
email.encoders.encode_quopri(part)
m.attach(part)
inner = random_bytes(100)
second = "Ещё архив:\nbegin 644 inner.bin\n" + "".join(
    binascii.b2a_uu(inner[i:i + 45]).decode("ascii") for i in range(0, len(inner), 45)) + "`\nend\n"
m.attach(MIMEText(second, "plain", "koi8-r"))
save("uue_in_parts", m, ["Два байта:", "Ещё архив:"], [("small.bin", small), ("inner.bin", inner)], smtp=False)

# 6. No mail: a text in Windows-1251 with the same UUE block and a line of
#    quoted-printable; the UUE lines stay out of the escape stage.
text = ("=C0=F0=F5=E8=E2 =E2 UUE:\r\nпростая строка =C0=E1 не в блоке.\r\n\r\nbegin 644 archive.bin\r\n" +
        uue.replace("\n", "\r\n") + "`\r\nend\r\n")
with open(os.path.join(OUT, "uue_text.txt"), "wb") as f:
    f.write(text.encode("cp1251"))
manifest += ["mail uue_text.txt", "line Архив в UUE:", "line простая строка =C0=E1 не в блоке.", "line begin 644 archive.bin",
             "line `", "line end", "file archive.bin uue_text.1.bin", "end"]
with open(os.path.join(OUT, "uue_text.1.bin"), "wb") as f:
    f.write(payload)

with open(os.path.join(OUT, "expected.txt"), "w", encoding="utf-8") as f:
    f.write("\n".join(manifest) + "\n")
