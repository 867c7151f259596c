#!/usr/bin/env python3
"""Runs KAMVO over the clean-text benchmark made by generate.py and counts
what it changed: texts that do not come out byte for byte (each converted in
place into its own code page), mails whose attachments are not saved
byte-exact under their names, and mails whose body does not read as written.

Usage: run.py KAMVO DATADIR [--slice N] [--show K] [--work DIR]
Exit status 0 when nothing changed, 1 otherwise.
"""

import argparse
import collections
import filecmp
import os
import shutil
import subprocess
import sys
import tempfile

BATCH = 400  # files per run of the program


def convert_in_place(kamvo, target, paths):
    for i in range(0, len(paths), BATCH):
        subprocess.run([kamvo, "--in-place", "--to=" + target, "--"] + paths[i:i + BATCH],
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=program_env())


_ENV = {}


def program_env():
    """The program's environment: a UTF-8 locale and a settings folder of
    its own, so that the user's settings do not change the results."""
    if not _ENV:
        _ENV.update(os.environ)
        _ENV["LC_ALL"] = "C.UTF-8"
        _ENV["XDG_CONFIG_HOME"] = tempfile.mkdtemp(prefix="kamvo-clean-config-")
    return _ENV


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("kamvo")
    parser.add_argument("data")
    parser.add_argument("--slice", type=int, default=0, help="every n-th text and mail only")
    parser.add_argument("--show", type=int, default=5, help="changed texts to name per kind")
    parser.add_argument("--work", default="")
    args = parser.parse_args()
    kamvo = os.path.abspath(args.kamvo)
    work = args.work or tempfile.mkdtemp(prefix="kamvo-clean-")
    step = max(1, args.slice)

    with open(os.path.join(args.data, "manifest.tsv"), encoding="utf-8") as f:
        entries = [line.rstrip("\n").split("\t") for line in f if line.strip()][::step]

    by_target = collections.defaultdict(list)
    for path, kind in entries:
        copy = os.path.join(work, path)
        os.makedirs(os.path.dirname(copy), exist_ok=True)
        shutil.copyfile(os.path.join(args.data, path), copy)
        by_target[path.split("/")[0]].append(copy)
    for target, paths in by_target.items():
        convert_in_place(kamvo, target, paths)

    total = collections.Counter()
    changed = collections.defaultdict(list)
    for path, kind in entries:
        total[kind] += 1
        if not filecmp.cmp(os.path.join(args.data, path), os.path.join(work, path), shallow=False):
            changed[kind].append(path)

    mail_root = os.path.join(args.data, "mail")
    mails = sorted(os.listdir(mail_root), key=int)[::step] if os.path.isdir(mail_root) else []
    attachments = differing = bodies_damaged = 0
    damaged_mails = []
    for name in mails:
        source = os.path.join(mail_root, name)
        folder = os.path.join(work, "mail", name)
        os.makedirs(folder, exist_ok=True)
        message = os.path.join(folder, "message.eml")
        shutil.copyfile(os.path.join(source, "message.eml"), message)
        subprocess.run([kamvo, "--to=utf-8", message], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       env=program_env())
        bad = False
        for attachment in sorted(os.listdir(os.path.join(source, "expected"))):
            attachments += 1
            saved = os.path.join(folder, attachment)
            if not (os.path.isfile(saved) and filecmp.cmp(saved, os.path.join(source, "expected", attachment),
                                                          shallow=False)):
                differing += 1
                bad = True
        with open(os.path.join(source, "body.txt"), encoding="utf-8") as f:
            first_line = f.read().encode("utf-8")
        with open(message, "rb") as f:
            if first_line not in f.read():
                bodies_damaged += 1
                bad = True
        if bad:
            damaged_mails.append(os.path.join("mail", name))

    changed_count = sum(len(v) for v in changed.values())
    print(f"{'kind':<24}{'texts':>8}{'changed':>9}")
    for kind in sorted(total):
        print(f"{kind:<24}{total[kind]:>8}{len(changed[kind]):>9}")
    print(f"{'all texts':<24}{sum(total.values()):>8}{changed_count:>9}")
    print(f"mails: {len(mails)}, attachments: {attachments}, attachments differing: {differing}, "
          f"bodies not as written: {bodies_damaged}")
    for kind in sorted(changed):
        for path in changed[kind][:args.show]:
            print(f"changed: {path}  (work copy {os.path.join(work, path)})")
    for path in damaged_mails[:args.show]:
        print(f"mail damaged: {path}  (work copy {os.path.join(work, path)})")
    if not args.work:
        shutil.rmtree(work, ignore_errors=True) if changed_count == 0 and not damaged_mails else None
    return 0 if changed_count == 0 and not damaged_mails else 1


if __name__ == "__main__":
    sys.exit(main())
