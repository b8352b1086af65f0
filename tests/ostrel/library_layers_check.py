#!/usr/bin/env python3
"""Keeps the client library in layers: every include inside ostrel/src goes
down the layer order below (or stays in its own folder), and no modules
include each other in a circle.

A module is a file without its extension, so that a .h and its .cpp count as
one: "front/cursor" is cursor.h with cursor.cpp. A module depends on every
module whose header one of its files includes. Folders of one layer (the two
engines) may not include each other. The public header (ostrel/ostrel.h)
includes nothing of the library, so any file may include it.

    python3 tests/ostrel/library_layers_check.py <project>/ostrel/src
"""

import os
import re
import sys

# The layers, lowest first: each folder may include its own files and those
# of the layers below it, nothing else.
LAYERS = [
    ["core"],  # status and diagnostics, the trace, the dialect, character rules
    ["engine"],  # the engine interface
    ["gx"],  # the geometry converter
    ["values"],  # cells to host values, shapes made on fetch
    ["sqlite", "postgres"],  # the engines
    ["front"],  # the API over the engine interface
]

INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"')
SOURCE_SUFFIXES = (".h", ".cpp")


def layer_of(folder):
    for rank, folders in enumerate(LAYERS):
        if folder in folders:
            return rank
    return None


def read_includes(root):
    """{module: {included module: (file, line number)}} of every source."""
    modules = {}
    for folder in sorted(os.listdir(root)):
        path = os.path.join(root, folder)
        if not os.path.isdir(path):
            continue
        for name in sorted(os.listdir(path)):
            if not name.endswith(SOURCE_SUFFIXES):
                continue
            module = folder + "/" + os.path.splitext(name)[0]
            edges = modules.setdefault(module, {})
            with open(os.path.join(path, name), encoding="utf-8") as source:
                for number, line in enumerate(source, 1):
                    match = INCLUDE.match(line)
                    if match and os.path.isfile(os.path.join(root, match.group(1))):
                        included = os.path.splitext(match.group(1))[0]
                        if included != module:
                            edges.setdefault(included, (folder + "/" + name, number))
    return modules


def layer_faults(root, modules):
    faults = []
    for folder in sorted(os.listdir(root)):
        if os.path.isdir(os.path.join(root, folder)) and layer_of(folder) is None:
            faults.append(f"{folder}/ has no place in the layer order")
    for module, edges in sorted(modules.items()):
        folder = module.split("/")[0]
        for included, (file, number) in sorted(edges.items()):
            target = included.split("/")[0]
            if target == folder or layer_of(folder) is None or layer_of(target) is None:
                continue
            if layer_of(target) >= layer_of(folder):
                way = "up" if layer_of(target) > layer_of(folder) else "sideways"
                faults.append(f"{file}:{number} includes {included}.h, {way} from {folder}/ "
                              f"to {target}/")
    return faults


def circles(modules):
    """The groups of modules that depend on each other, in a circle of
    includes (Tarjan's strongly connected components)."""
    index = {}
    low = {}
    stack = []
    on_stack = set()
    groups = []
    counter = [0]

    def visit(module):
        index[module] = low[module] = counter[0]
        counter[0] += 1
        stack.append(module)
        on_stack.add(module)
        for included in modules.get(module, {}):
            if included not in index:
                visit(included)
                low[module] = min(low[module], low[included])
            elif included in on_stack:
                low[module] = min(low[module], index[included])
        if low[module] == index[module]:
            group = []
            while True:
                member = stack.pop()
                on_stack.discard(member)
                group.append(member)
                if member == module:
                    break
            if len(group) > 1:
                groups.append(sorted(group))

    for module in sorted(modules):
        if module not in index:
            visit(module)
    return sorted(groups)


def path_through(group, modules):
    """The shortest circle from the group's first module back to it."""
    start = group[0]
    members = set(group)
    paths = {start: [start]}
    queue = [start]
    while queue:
        module = queue.pop(0)
        for included in sorted(modules.get(module, {})):
            if included == start:
                return paths[module] + [start]
            if included in members and included not in paths:
                paths[included] = paths[module] + [included]
                queue.append(included)
    return group


def main():
    if len(sys.argv) != 2:
        print(__doc__.strip().splitlines()[-1].strip(), file=sys.stderr)
        return 2
    root = sys.argv[1]
    modules = read_includes(root)
    faults = layer_faults(root, modules)
    for group in circles(modules):
        faults.append(f"include circle among {', '.join(group)}: "
                      + " -> ".join(path_through(group, modules)))
    for fault in faults:
        print(fault)
    if faults:
        print(f"{len(faults)} fault(s) in the library's layers", file=sys.stderr)
        return 1
    order = " < ".join("/".join(folders) for folders in LAYERS)
    print(f"{len(modules)} modules in layers ({order}), no include circle")
    return 0


if __name__ == "__main__":
    sys.exit(main())
