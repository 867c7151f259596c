#!/usr/bin/env python3
"""Runs KAMVO over the wild-mojibake benchmark made by generate.py, beside
uchardet + iconv on the same bytes, and prints for each form the share of
texts each restores exactly (into UTF-8).

Usage: run.py KAMVO DATADIR [--show K] [--work DIR]
"""

import argparse
import collections
import os
import shutil
import subprocess
import sys
import tempfile

BATCH = 400


def program_env():
    env = dict(os.environ)
    env["LC_ALL"] = "C.UTF-8"
    env["XDG_CONFIG_HOME"] = tempfile.mkdtemp(prefix="kamvo-wild-config-")
    return env


def uchardet_iconv(path):
    """What uchardet names the code page, and iconv's conversion to UTF-8."""
    try:
        name = subprocess.run(["uchardet", path], capture_output=True, text=True).stdout.strip()
    except FileNotFoundError:
        return None
    with open(path, "rb") as f:
        data = f.read()
    if name in ("", "unknown", "ASCII", "UTF-8"):
        return data
    out = subprocess.run(["iconv", "-f", name, "-t", "UTF-8"], input=data, capture_output=True)
    return out.stdout if out.returncode == 0 else b""


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("kamvo")
    parser.add_argument("data")
    parser.add_argument("--show", type=int, default=0, help="failures to show per form")
    parser.add_argument("--work", default="")
    parser.add_argument("--no-peer", action="store_true", help="leave uchardet + iconv out")
    parser.add_argument("--forms", default="", help="comma-separated forms to run (all by default)")
    args = parser.parse_args()
    kamvo = os.path.abspath(args.kamvo)
    work = args.work or tempfile.mkdtemp(prefix="kamvo-wild-")
    with open(os.path.join(args.data, "manifest.tsv"), encoding="utf-8") as f:
        entries = [line.rstrip("\n").split("\t") for line in f if line.strip()]
    if args.forms:
        entries = [e for e in entries if e[1] in args.forms.split(",")]

    copies = []
    for path, form, words in entries:
        copy = os.path.join(work, path)
        os.makedirs(os.path.dirname(copy), exist_ok=True)
        shutil.copyfile(os.path.join(args.data, path), copy)
        copies.append(copy)
    env = program_env()
    for i in range(0, len(copies), BATCH):
        subprocess.run([kamvo, "--in-place", "--to=utf-8", "--"] + copies[i:i + BATCH],
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=env)

    ours = collections.Counter()
    peer = collections.Counter()
    total = collections.Counter()
    shown = collections.Counter()
    for (path, form, words), copy in zip(entries, copies):
        with open(os.path.join(args.data, path[:-4] + ".expected"), "rb") as f:
            expected = f.read()
        with open(copy, "rb") as f:
            got = f.read()
        total[form] += 1
        if got == expected:
            ours[form] += 1
        elif shown[form] < args.show:
            shown[form] += 1
            print(f"{form}: {path}\n  want {expected[:100].decode('utf-8', 'replace')!r}\n"
                  f"  got  {got[:100].decode('utf-8', 'replace')!r}")
        if not args.no_peer and uchardet_iconv(os.path.join(args.data, path)) == expected:
            peer[form] += 1

    print(f"{'form':28} {'texts':>6} {'kamvo':>7} {'uchardet+iconv':>15}")
    worst = 100.0
    for form in total:
        share = 100.0 * ours[form] / total[form]
        worst = min(worst, share)
        other = "-" if args.no_peer else f"{100.0 * peer[form] / total[form]:.0f} %"
        print(f"{form:28} {total[form]:6} {share:6.0f} % {other:>15}")
    all_ours = sum(ours.values())
    all_total = sum(total.values())
    print(f"{'all':28} {all_total:6} {100.0 * all_ours / all_total:6.1f} %"
          + ("" if args.no_peer else f" {100.0 * sum(peer.values()) / all_total:14.1f} %"))
    shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
