#!/usr/bin/env python3
"""The design page's graph of targets is the build's: every link between the program's own
targets that docs/DESIGN.md draws is in the build with the same kind, and every such link of the
build is drawn. Qt and system libraries are left to the page's prose.

Usage: design_graph_test.py BUILD/link-graph.txt docs/DESIGN.md
"""
import re
import sys


def build_graph(path):
    graph = {}
    for target, public, private in re.findall(r"^(\S+) PUBLIC (\S*) +PRIVATE *(\S*)$", open(path).read(), re.M):
        graph[target] = {link: kind for kind, links in (("PUBLIC", public), ("PRIVATE", private))
                         for link in links.split(";") if link}
    return graph


def page_graph(path, windows):
    block = re.search(r"## Targets\n.*?```\n(.*?)```", open(path, encoding="utf-8").read(), re.S)
    graph, target, kind = {}, None, "PRIVATE"
    for line in block.group(1).splitlines():
        if not line[:1].isspace():
            target, line, kind = line.split()[0], line[len(line.split()[0]):], "PRIVATE"
            graph[target] = {}
        for part in re.split(r"(═>|─>)", line):
            if part in ("═>", "─>"):
                kind = "PUBLIC" if part == "═>" else "PRIVATE"
                continue
            for item in re.split(r"[,;]", part):
                if windows or not item.strip().endswith("(Windows)"):
                    graph[target][re.sub(r"\(.*?\)", "", item).strip()] = kind
    return graph


built = build_graph(sys.argv[1])
drawn = page_graph(sys.argv[2], windows="orvelin_standin" in built)
ours = set(built) | set(drawn)
faults = [f"{t}: drawn, but the build has no such target" for t in drawn
          if t not in built and not (t == "orvelin_standin" and "orvelin_standin" not in built)]
faults += [f"{t}: in the build, not drawn" for t in built if t not in drawn]
for target in sorted(set(built) & set(drawn)):
    have = {link: kind for link, kind in built[target].items() if link in ours}
    want = {link: kind for link, kind in drawn[target].items() if link in ours}
    faults += [f"{target} -> {link}: {want.get(link, 'not drawn')} on the page, {have.get(link, 'absent')} in the build"
               for link in sorted(set(have) | set(want)) if have.get(link) != want.get(link)]
print("\n".join(faults + [f"design graph: {len(ours)} targets, {len(faults)} differences"]))
sys.exit(1 if faults else 0)
