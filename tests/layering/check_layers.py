#!/usr/bin/env python3
"""Fails on an #include that points up the layers.

Layers, lowest first: the base of pgraphic/ (messages, streams, settings) <-
pgraphic/image <- pgraphic/formats and pgraphic/filters <- codec <- io <-
metafile (the metafile drawing, which registers with io) <- the CLI and the Qt
parts (pgraphic/view, pgraphic/dialogs, widgets, app). Library code up to io
includes no Qt header; the metafile drawing uses Qt. The CLI and app reach the
codec and the formats only through io: they include neither codec/ nor
pgraphic/formats/. Usage: check_layers.py ROOT; prints one line per
wrong include ("file:line: layer includes target") and exits 1 when there is any.
With --expect FILE it succeeds only when the lines found are exactly those of
FILE (how the check itself is tested on a tree of wrong includes).
"""
import os
import re
import sys

# Folder (relative to the root) -> layer. The longest matching prefix wins;
# files directly in pgraphic/ are the base.
FOLDERS = {
    "pgraphic/image": "image",
    "pgraphic/formats": "formats",
    "pgraphic/filters": "filters",
    "pgraphic/view": "view",
    "pgraphic/dialogs": "dialogs",
    "codec": "codec",
    "io": "io",
    "metafile": "metafile",
    "cli": "cli",
    "widgets": "widgets",
    "app": "app",
}

LIBRARY = {"base", "image", "formats", "filters", "codec", "io"}
QT_PARTS = {"view", "dialogs", "widgets", "app"}
# What the programs (the CLI and app) may include of the library.
THROUGH_IO = LIBRARY - {"codec", "formats"}

# Layer -> the layers it may include.
ALLOWED = {
    "base": {"base"},
    "image": {"base", "image"},
    "formats": {"base", "image", "formats"},
    "filters": {"base", "image", "filters"},
    "codec": {"base", "image", "formats", "filters", "codec"},
    "io": {"base", "image", "formats", "filters", "codec", "io"},
    "metafile": LIBRARY | {"metafile"},
    "cli": THROUGH_IO | {"metafile", "cli"},
    "view": LIBRARY | {"view"},
    "dialogs": LIBRARY | {"view", "dialogs"},
    "widgets": LIBRARY | {"view", "widgets"},
    "app": THROUGH_IO | {"metafile"} | QT_PARTS,
}

SOURCE = re.compile(r"\.(h|hpp|cpp|cc|inc)$")
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^">]+)[">]')
QT_HEADER = re.compile(r"^(Q[A-Za-z0-9]+|Qt[A-Za-z]+/.*|q[a-z0-9_]+\.h)$")


def layer_of(path):
    """The layer of a path relative to the root, or None outside the layers."""
    best = None
    for folder, layer in FOLDERS.items():
        if path == folder or path.startswith(folder + "/"):
            if best is None or len(folder) > len(best[0]):
                best = (folder, layer)
    if best:
        return best[1]
    if path.startswith("pgraphic/") and "/" not in path[len("pgraphic/"):]:
        return "base"
    return None


def check(root):
    problems = []
    for folder in ("pgraphic", "codec", "io", "metafile", "cli", "widgets", "app"):
        for directory, _, files in os.walk(os.path.join(root, folder)):
            for name in sorted(files):
                if not SOURCE.search(name):
                    continue
                path = os.path.relpath(os.path.join(directory, name), root)
                layer = layer_of(path)
                if layer is None:
                    continue
                with open(os.path.join(root, path), encoding="utf-8", errors="replace") as f:
                    for number, line in enumerate(f, 1):
                        match = INCLUDE.match(line)
                        if not match:
                            continue
                        kind, target = match.groups()
                        if kind == "<":
                            if layer not in QT_PARTS | {"metafile"} and QT_HEADER.match(target):
                                problems.append(f"{path}:{number}: {layer} includes Qt <{target}>")
                            continue
                        if target.startswith("."):
                            problems.append(f"{path}:{number}: {layer} includes by relative path {target}")
                            continue
                        wanted = layer_of(target)
                        if wanted is not None and wanted not in ALLOWED[layer]:
                            problems.append(f"{path}:{number}: {layer} includes {wanted} ({target})")
    return problems


def main():
    args = sys.argv[1:]
    expected = None
    if len(args) >= 2 and args[0] == "--expect":
        with open(args[1], encoding="utf-8") as f:
            expected = sorted(line.rstrip("\n") for line in f if line.strip())
        args = args[2:]
    root = args[0] if args else "."
    problems = check(root)
    for problem in problems:
        print(problem)
    print(f"{len(problems)} include(s) against the layering")
    if expected is not None:
        missed = sorted(set(expected) - set(problems))
        extra = sorted(set(problems) - set(expected))
        for line in missed:
            print(f"not caught: {line}")
        for line in extra:
            print(f"not expected: {line}")
        return 1 if missed or extra else 0
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
