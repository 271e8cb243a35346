#!/usr/bin/env python3
"""Line and branch coverage of the system's code and of the platform, from a coverage build.

  scripts/coverage.py report BUILD OUT     gcovr over BUILD's counters: OUT/files.json (per file),
                                           OUT/html/index.html, and the tables on stdout
  scripts/coverage.py compare BEFORE AFTER the files of AFTER (a files.json) whose line or branch
                                           coverage is lower than in BEFORE; exits 1 if any is

Branches that only throw, or that the compiler made but no source can reach, are left out: they
are noise of the C++ runtime, not decisions of our code.
"""
import json
import os
import subprocess
import sys

SYSTEM = ["app", "store", "decode", "jpeg", "thumbs", "folders", "browser", "skin", "viewer",
          "slideshow", "dialogs", "res"]
PLATFORM_LAYERS = ["kernel", "storage", "device", "gdi", "windows", "imaging", "media", "host"]


def folder_of(path):
    parts = path.split("/")
    if parts[0] == "platform" and len(parts) > 2:
        return "platform/" + parts[1]
    return parts[0]


def run_gcovr(build, out):
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    os.makedirs(os.path.join(out, "html"), exist_ok=True)
    wanted = "|".join(SYSTEM + ["platform"])
    # The counters are searched for under the build folder; gcov runs where each object was
    # compiled, which gcovr finds from the counter's place (ccache may record relative paths).
    subprocess.run(["gcovr", "--root", root, "--filter", os.path.join(root, f"({wanted})/"),
                    "--exclude-throw-branches", "--exclude-unreachable-branches",
                    "-j", str(os.cpu_count() or 1),
                    "--json-summary-pretty", "--json-summary", os.path.join(out, "summary.json"),
                    "--html-details", os.path.join(out, "html", "index.html"), os.path.abspath(build)],
                   check=True)
    with open(os.path.join(out, "summary.json")) as f:
        summary = json.load(f)
    files = {e["filename"]: {"lines": [e["line_covered"], e["line_total"]],
                             "branches": [e["branch_covered"], e["branch_total"]]}
             for e in summary["files"]}
    with open(os.path.join(out, "files.json"), "w") as f:
        json.dump(files, f, indent=1, sort_keys=True)
    return files


def percent(covered, total):
    return f"{100.0 * covered / total:5.1f}%" if total else "    -"


def add(into, figures):
    for kind in ("lines", "branches"):
        into[kind][0] += figures[kind][0]
        into[kind][1] += figures[kind][1]


def row(name, figures):
    lc, lt = figures["lines"]
    bc, bt = figures["branches"]
    return f"{name:<20} {lc:>6}/{lt:<6} {percent(lc, lt)}   {bc:>6}/{bt:<6} {percent(bc, bt)}"


def print_tables(files):
    folders = {}
    for path, figures in files.items():
        add(folders.setdefault(folder_of(path), {"lines": [0, 0], "branches": [0, 0]}), figures)
    print(f"{'folder':<20} {'lines':>13} {'':>6}   {'branches':>13}")
    order = SYSTEM + ["platform/" + layer for layer in PLATFORM_LAYERS]
    for name in order + sorted(set(folders) - set(order)):
        if name in folders:
            print(row(name, folders[name]))
    print()
    for title, names in (("system code", SYSTEM),
                         ("platform", ["platform/" + layer for layer in PLATFORM_LAYERS])):
        total = {"lines": [0, 0], "branches": [0, 0]}
        for name in names:
            if name in folders:
                add(total, folders[name])
        print(row(title, total))


def compare(before_path, after_path):
    with open(before_path) as f:
        before = json.load(f)
    with open(after_path) as f:
        after = json.load(f)
    drops = 0
    for path in sorted(set(before) & set(after)):
        for kind in ("lines", "branches"):
            (bc, bt), (ac, at) = before[path][kind], after[path][kind]
            # The same code must be covered as much; changed code as large a share of it.
            lower = ac < bc if at == bt else ac * max(bt, 1) < bc * at
            if lower:
                drops += 1
                print(f"{path}: {kind} {bc}/{bt} -> {ac}/{at}")
    for path in sorted(set(before) - set(after)):
        print(f"{path}: no longer measured")
    print(f"{drops} drop(s) in {len(set(before) & set(after))} files")
    return 1 if drops else 0


def main(argv):
    if len(argv) == 4 and argv[1] == "report":
        print_tables(run_gcovr(argv[2], argv[3]))
        print(f"\nper file: {os.path.join(argv[3], 'files.json')}, "
              f"{os.path.join(argv[3], 'html', 'index.html')}")
        return 0
    if len(argv) == 4 and argv[1] == "compare":
        return compare(argv[2], argv[3])
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
