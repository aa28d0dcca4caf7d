#!/usr/bin/env python3
"""The design page's graph of targets is the build's: every link between the program's own
targets that docs/DESIGN.md draws is in the build with the same kind (PUBLIC or PRIVATE), and
every such link of the build is drawn. Qt and system libraries are left to the page's prose.

Usage: design_graph_test.py BUILD/link-graph.txt docs/DESIGN.md
"""
import re
import sys

PUBLIC, PRIVATE = "═>", "─>"


def build_graph(path):
    graph = {}
    for line in open(path, encoding="utf-8"):
        words = line.split()
        if not words:
            continue
        target, kind, links = words[0], None, {}
        for word in words[1:]:
            if word in ("PUBLIC", "PRIVATE"):
                kind = word
                continue
            for link in word.split(";"):
                if link:
                    links[link] = kind
        graph[target] = links
    return graph


def page_graph(path, windows):
    text = open(path, encoding="utf-8").read()
    block = re.search(r"## Targets\n.*?```\n(.*?)```", text, re.S)
    if not block:
        sys.exit("design_graph: no graph block under '## Targets' in " + path)
    graph, target = {}, None
    for line in block.group(1).splitlines():
        if line and not line[0].isspace():
            target, rest = line.split(None, 1) if " " in line else (line, "")
            graph[target] = {}
        else:
            rest = line
        kind = graph.get("__kind__" + str(target), PRIVATE)
        for part in re.split(r"(═>|─>)", rest):
            if part in (PUBLIC, PRIVATE):
                kind = part
                continue
            for item in re.split(r"[,;]", part):
                item = item.strip()
                windows_only = item.endswith("(Windows)")
                item = re.sub(r"\(.*?\)", "", item).strip()
                if item and (windows or not windows_only):
                    graph[target][item] = "PUBLIC" if kind == PUBLIC else "PRIVATE"
        graph["__kind__" + str(target)] = kind
    return {t: links for t, links in graph.items() if not t.startswith("__kind__")}


def main():
    built = build_graph(sys.argv[1])
    windows = "orvelin_standin" in built
    drawn = page_graph(sys.argv[2], windows)
    ours = set(built) | set(drawn)
    faults = []
    for target in sorted(ours):
        if target not in built:
            if not (target == "orvelin_standin" and not windows):
                faults.append(f"{target}: drawn, but the build has no such target")
            continue
        if target not in drawn:
            faults.append(f"{target}: in the build, not drawn")
            continue
        have = {link: kind for link, kind in built[target].items() if link in ours}
        want = {link: kind for link, kind in drawn[target].items() if link in ours}
        for link in sorted(set(have) | set(want)):
            if link not in want:
                faults.append(f"{target} -> {link}: a {have[link]} link of the build, not drawn")
            elif link not in have:
                faults.append(f"{target} -> {link}: drawn {want[link]}, not in the build")
            elif have[link] != want[link]:
                faults.append(f"{target} -> {link}: drawn {want[link]}, {have[link]} in the build")
    for fault in faults:
        print(fault)
    print(f"design graph: {len(ours)} targets, {len(faults)} differences")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
