#!/usr/bin/env python3
"""The backend's house rules, checked on the tree and the build:
- Xlib, xcb and XInput headers are included only under src/x11;
- wayland-client and the generated protocol headers only under src/wayland;
- no file in src/ is over 700 lines;
- the Wayland backend's target links no X11 library, directly or through
  any of Orvella's own libraries it links.

usage: layout_check.py SOURCE_DIR LINKS_FILE"""

import os
import re
import sys

X11_INCLUDE = re.compile(r'^\s*#\s*include\s*[<"](X11/|xcb/)', re.M)
WAYLAND_INCLUDE = re.compile(r'^\s*#\s*include\s*[<"](wayland-client[^">]*|[\w-]+-client-protocol\.h)[">]', re.M)
X11_LIBRARY = re.compile(r'(^|[:/])(X11::|libX|libxcb|xcb|Xext|Xrandr|Xi\b)', re.I)
MAX_LINES = 700


def sources(src):
    for folder, _, names in os.walk(src):
        for name in names:
            if name.endswith((".h", ".cpp", ".in")):
                yield os.path.join(folder, name)


def main():
    root, links_file = sys.argv[1], sys.argv[2]
    src = os.path.join(root, "src")
    faults = []
    for path in sources(src):
        rel = os.path.relpath(path, src)
        with open(path, encoding="utf-8") as f:
            text = f.read()
        if X11_INCLUDE.search(text) and not rel.startswith("x11/"):
            faults.append(f"{rel}: includes an X11 header outside src/x11")
        if WAYLAND_INCLUDE.search(text) and not rel.startswith("wayland/"):
            faults.append(f"{rel}: includes a wayland-client header outside src/wayland")
        lines = text.count("\n")
        if lines > MAX_LINES:
            faults.append(f"{rel}: {lines} lines, over {MAX_LINES}")
    # One line per target of ours: "name=lib;lib;...".
    links = {}
    with open(links_file) as f:
        for line in f:
            name, _, libs = line.strip().partition("=")
            links[name] = [lib for lib in libs.split(";") if lib]
    seen, todo = set(), ["orvella_wayland"]
    while todo:
        target = todo.pop()
        if target in seen:
            continue
        seen.add(target)
        for lib in links.get(target, []):
            if lib in links:
                todo.append(lib)
            elif X11_LIBRARY.search(lib):
                faults.append(f"orvella_wayland links {lib} (through {target})")
    if "orvella_wayland" not in links or len(seen) < 2:
        faults.append(f"the link list of orvella_wayland is missing from {links_file}")
    for fault in faults:
        print(fault)
    print(f"checked {sum(1 for _ in sources(src))} files and the links of {sorted(seen)}")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
