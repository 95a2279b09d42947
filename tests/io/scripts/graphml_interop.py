#!/usr/bin/python3
"""The other side of the GraphML interoperability tests: networkx reads or writes the file.

    graphml_interop.py read FILE            prints the graph networkx reads from FILE
    graphml_interop.py write FILE VARIANT   writes a known graph to FILE with networkx and prints it
    graphml_interop.py write-plain FILE VARIANT   the same with networkx's default key ids ("d0", "d1", ...)

Printed form, one item a line, floats in their exact repr, attributes sorted by name:
    directed 0|1
    node ID name=value ...          (networkx's node order: document or insertion order)
    edge SOURCE TARGET name=value ...
"""
import sys

import networkx as nx


def attributes(data):
    return [f"{name}={value!r}" if isinstance(value, float) else f"{name}={value}" for name, value in sorted(data.items())]


def dump(graph):
    lines = [f"directed {1 if graph.is_directed() else 0}"]
    for node, data in graph.nodes(data=True):
        lines.append(" ".join(["node", str(node)] + attributes(data)))
    for source, target, data in graph.edges(data=True):
        lines.append(" ".join(["edge", str(source), str(target)] + attributes(data)))
    print("\n".join(lines))


def known_graph(variant):
    directed = variant.startswith("directed")
    with_z = "-3d" in variant
    with_features = "features" in variant
    graph = nx.DiGraph() if directed else nx.Graph()
    # Insertion order is not sorted, so a reader that sorts ids would show.
    names = ["e", "a", "c", "b", "d"]
    values = [0.1, 1.0 / 3.0, -2.5e10, 1e-300, 7.0]
    for i, name in enumerate(names):
        data = {"x": values[i], "y": -values[(i + 1) % 5]}
        if with_z:
            data["z"] = values[(i + 2) % 5] * 3.0
        if with_features:
            data["radius"] = 0.5 + i
            data["count"] = i  # an int column: written with attr.type "int"
        if variant == "text":
            data["label"] = "vessel " + name
        graph.add_node(name, **data)
    edges = [("e", "a"), ("a", "c"), ("c", "e"), ("b", "b"), ("d", "a")]
    if directed:
        edges.append(("a", "e"))
    for i, (source, target) in enumerate(edges):
        data = {"diameter": 0.25 * (i + 1), "length": values[i % 5] * 2.0} if with_features else {}
        graph.add_edge(source, target, **data)
    return graph


def main():
    if len(sys.argv) == 3 and sys.argv[1] == "read":
        dump(nx.read_graphml(sys.argv[2]))
    elif len(sys.argv) == 4 and sys.argv[1] in ("write", "write-plain"):
        graph = known_graph(sys.argv[3])
        nx.write_graphml(graph, sys.argv[2], named_key_ids=sys.argv[1] == "write")
        dump(graph)
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main()
