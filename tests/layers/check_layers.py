#!/usr/bin/env python3
"""Keeps the layers as drawn: reads the #include lines of every source folder and fails when a folder
includes one it must not, or when classes (header/source pairs) include each other's headers in a loop.

Usage: check_layers.py SOURCE_ROOT        checks the tree
       check_layers.py --self-test DIR    checks that planted faults in small trees under DIR are found

Registered with ctest (tests/layers/CMakeLists.txt); needs nothing beyond the standard library.
"""

import os
import re
import shutil
import sys

# What each top folder may include besides itself, lowest first, with the reason. A folder with
# sources but no row here fails the check: a new folder takes its place in the layers on purpose.
ALLOWED = {
    # POSIX and the few desktop services the core needs, behind small interfaces: the bottom.
    "platform": set(),
    # Data files are read through the platform's files and mappings only.
    "datafile": {"platform"},
    # Band filters read records through the data files' readers; everything that shows or extracts a
    # filtered signal builds on them.
    "filter": {"platform", "datafile"},
    # The off-screen renderer draws pixels and knows nothing of recordings.
    "render": {"platform"},
    # Summaries are built from the data files' records.
    "summary": {"platform", "datafile", "filter"},
    # The CSC plot's column builders: from records or summaries to pixel columns.
    "columns": {"platform", "datafile", "filter", "render", "summary"},
    # The spike-file format, its writer and readers, the figure and the spike marks: below both the
    # extraction that writes spike files and the display that draws the marks. Only the figure's
    # drawing uses the renderer, in a library of its own that the extraction does not link.
    "spikes": {"platform", "datafile", "render"},
    # The display draws recordings, their summaries and spike marks; it never runs an extraction.
    "display": {"platform", "datafile", "filter", "render", "summary", "columns", "spikes"},
    # Extraction takes channel sources, not plots: nothing of the display or the renderer.
    "extract": {"platform", "datafile", "filter", "summary", "spikes"},
    # The synthetic recording generator writes data files.
    "tools": {"platform", "datafile"},
    # The application is built from the core; no command-line code.
    "app": {"platform", "datafile", "filter", "render", "summary", "columns", "spikes", "display", "extract"},
    # The command-line tool is built from the core and the generator; no window.
    "cli": {"platform", "datafile", "filter", "render", "summary", "columns", "spikes", "display", "extract", "tools"},
}

# Folders that are not part of the layers: tests, benchmarks and fuzz targets may use anything.
NOT_LAYERED = {"tests", "bench", "fuzz", "build", "cmake", "resources", "scripts", "workflow"}

# Include loops tolerated for a while (say while another branch breaks them): none today. Every entry
# must still be a loop, so that a stale one fails the check and cannot outlive its reason.
KNOWN_LOOPS: list = []

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')
SOURCE_SUFFIXES = (".h", ".cpp")


def source_folders(root):
    """The top folders of `root` that hold C++ sources and take part in the layers."""
    folders = []
    for name in sorted(os.listdir(root)):
        path = os.path.join(root, name)
        # Build folders beside the sources (build-bench of bench/run.sh, any /build*/ git ignores)
        # hold CMake's own probe sources.
        if name.startswith((".", "build")) or name in NOT_LAYERED or not os.path.isdir(path):
            continue
        if any(f.endswith(SOURCE_SUFFIXES) for _, _, files in os.walk(path) for f in files):
            folders.append(name)
    return folders


def includes_of(root, folder):
    """(file, line number, included path) for every quoted include in the folder's sources."""
    for directory, _, files in os.walk(os.path.join(root, folder)):
        for name in sorted(files):
            if not name.endswith(SOURCE_SUFFIXES):
                continue
            path = os.path.join(directory, name)
            relative = os.path.relpath(path, root)
            with open(path, encoding="utf-8", errors="replace") as source:
                for number, line in enumerate(source, 1):
                    match = INCLUDE.match(line)
                    if match:
                        yield relative, number, match.group(1)


def loops_among(edges):
    """The include loops among classes, as sorted lists of class names (strongly connected parts)."""
    index, low, stack, on_stack, loops = {}, {}, [], set(), []
    counter = [0]

    def visit(start):
        # Tarjan's walk without recursion: (node, its remaining successors).
        work = [(start, iter(sorted(edges.get(start, ()))))]
        index[start] = low[start] = counter[0]
        counter[0] += 1
        stack.append(start)
        on_stack.add(start)
        while work:
            node, successors = work[-1]
            advanced = False
            for successor in successors:
                if successor not in index:
                    index[successor] = low[successor] = counter[0]
                    counter[0] += 1
                    stack.append(successor)
                    on_stack.add(successor)
                    work.append((successor, iter(sorted(edges.get(successor, ())))))
                    advanced = True
                    break
                if successor in on_stack:
                    low[node] = min(low[node], index[successor])
            if advanced:
                continue
            work.pop()
            if work:
                low[work[-1][0]] = min(low[work[-1][0]], low[node])
            if low[node] == index[node]:
                part = []
                while True:
                    member = stack.pop()
                    on_stack.discard(member)
                    part.append(member)
                    if member == node:
                        break
                if len(part) > 1:
                    loops.append(sorted(part))

    for node in sorted(edges):
        if node not in index:
            visit(node)
    return sorted(loops)


def check(root, known_loops):
    """The faults of the tree at `root`, one line each."""
    faults = []
    folders = source_folders(root)
    edges = {}
    for folder in folders:
        if folder not in ALLOWED:
            faults.append(f"{folder}/: a source folder with no place in the layers (give it a row in ALLOWED)")
            continue
        for relative, number, included in includes_of(root, folder):
            target = included.split("/", 1)[0] if "/" in included else None
            if target is not None and target != folder and target not in ALLOWED[folder]:
                faults.append(f"{relative}:{number}: includes {included}, but {folder}/ may not include {target}/")
            # A class is a header/source pair: its includes are those of both files.
            here = os.path.splitext(relative)[0]
            there = os.path.splitext(included)[0]
            if included.endswith(".h") and there != here and os.path.isfile(os.path.join(root, included)):
                edges.setdefault(here, set()).add(there)
    known = [set(loop) for loop in known_loops]
    for loop in loops_among(edges):
        if set(loop) in known:
            known.remove(set(loop))
            continue
        faults.append("include loop: " + " -> ".join(loop + loop[:1]))
    for loop in known:
        faults.append("known include loop no longer there, take it off KNOWN_LOOPS: " + ", ".join(sorted(loop)))
    return faults


def plant(directory, files):
    """Writes a small tree of sources: {relative path: text}."""
    shutil.rmtree(directory, ignore_errors=True)
    for relative, text in files.items():
        path = os.path.join(directory, relative)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "w", encoding="utf-8") as out:
            out.write(text)


def self_test(directory):
    """Each planted fault is found, and a sound tree passes; 0 or 1."""
    cases = [
        ("sound", {"datafile/A.h": '#include "platform/P.h"\n', "platform/P.h": ""}, []),
        ("upward", {"extract/Run.cpp": '#include "display/Plot.h"\n', "display/Plot.h": ""},
         ["extract/Run.cpp:1: includes display/Plot.h, but extract/ may not include display/"]),
        ("spikes above extract", {"spikes/W.h": '#include "extract/E.h"\n', "extract/E.h": ""},
         ["spikes/W.h:1: includes extract/E.h, but spikes/ may not include extract/"]),
        ("two classes", {"summary/A.h": "", "summary/A.cpp": '#include "summary/B.h"\n',
                         "summary/B.h": '#include "summary/A.h"\n'},
         ["include loop: summary/A -> summary/B -> summary/A"]),
        ("three classes", {"datafile/A.h": '#include "datafile/B.h"\n', "datafile/B.h": '#include "datafile/C.h"\n',
                           "datafile/C.cpp": '#include "datafile/A.h"\n', "datafile/C.h": ""},
         ["include loop: datafile/A -> datafile/B -> datafile/C -> datafile/A"]),
        ("new folder", {"widgets/W.h": ""},
         ["widgets/: a source folder with no place in the layers (give it a row in ALLOWED)"]),
    ]
    failed = 0
    for name, files, expected in cases:
        tree = os.path.join(directory, name.replace(" ", "-"))
        plant(tree, files)
        found = check(tree, [])
        shutil.rmtree(tree, ignore_errors=True)
        if found != expected:
            failed += 1
            print(f"self-test {name}: expected {expected}, found {found}")
    # A known loop that is gone fails too.
    empty = os.path.join(directory, "empty")
    plant(empty, {"platform/P.h": ""})
    stale = check(empty, [{"x/A", "x/B"}])
    shutil.rmtree(empty, ignore_errors=True)
    if stale != ["known include loop no longer there, take it off KNOWN_LOOPS: x/A, x/B"]:
        failed += 1
        print(f"self-test stale known loop: found {stale}")
    print(f"{len(cases) + 1 - failed} passed, {failed} failed")
    return 1 if failed else 0


def main(arguments):
    if len(arguments) == 2 and arguments[0] == "--self-test":
        return self_test(arguments[1])
    if len(arguments) != 1:
        print(__doc__, file=sys.stderr)
        return 2
    faults = check(arguments[0], KNOWN_LOOPS)
    for fault in faults:
        print(fault)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
