#!/usr/bin/env python3
"""Checks that the folders of src/ include only their own layer and the layers below it.

The layers, bottom to top, are listed in LAYERS; a quoted include is resolved against the
including file's folder, then src/, then resources/. Prints every include that runs upward or
sideways and exits 1 if there is one.
    scripts/check-layers.py
"""
import os
import re
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
# Bottom to top. Folders on one line form one layer and may not include each other.
LAYERS = [
    ["src/platform"],
    ["src/mapping"],
    ["src/engine"],
    ["src/settings", "src/platform/win32", "src/platform/linux", "src/ui"],
    ["resources"],
    ["src/windows"],
    ["src/app", "src/app/linux"],
]
LEVEL = {folder: level for level, folders in enumerate(LAYERS) for folder in folders}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def resolve(source, name):
    for base in (os.path.dirname(source), "src", "resources"):
        candidate = os.path.normpath(os.path.join(base, name))
        if os.path.exists(os.path.join(ROOT, candidate)):
            return candidate
    return None


def main():
    wrong = []
    for folder in LEVEL:
        if folder == "resources":
            continue
        for name in sorted(os.listdir(os.path.join(ROOT, folder))):
            source = os.path.join(folder, name)
            if not name.endswith((".h", ".cpp")):
                continue
            with open(os.path.join(ROOT, source), encoding="utf-8") as file:
                for include in INCLUDE.findall(file.read()):
                    target = resolve(source, include)
                    target_folder = os.path.dirname(target) if target else None
                    if target_folder is None or target_folder == folder:
                        continue
                    if target_folder not in LEVEL or LEVEL[target_folder] >= LEVEL[folder]:
                        wrong.append("%s includes %s" % (source, target))
    for line in wrong:
        print("layers: " + line)
    print("layers: %d folders, %d includes against the layers" % (len(LEVEL), len(wrong)))
    return 1 if wrong else 0


if __name__ == "__main__":
    sys.exit(main())
