#!/usr/bin/python3
"""The other side of the GraphML interoperability tests: networkx reads or writes the file.

    graphml_interop.py read FILE            prints the graph networkx reads from FILE
    graphml_interop.py write FILE VARIANT   writes a known graph to FILE with networkx and prints it
    graphml_interop.py write-plain FILE VARIANT   the same with networkx's default key ids ("d0", "d1", ...)
    graphml_interop.py igraph FILE          writes a known graph to FILE with igraph's default writer and prints it

Printed form, one item a line, floats in their exact repr, booleans as 1 or 0, texts percent-encoded
in double quotes, attributes sorted by name:
    directed 0|1
    node ID name=value ...          (networkx's node order: document or insertion order)
    edge SOURCE TARGET name=value ...   (parallel edges each on a line of their own)
"""
import sys
from urllib.parse import quote

import networkx as nx


def text(value):
    if isinstance(value, bool):
        return "1" if value else "0"
    if isinstance(value, float):
        return repr(value)
    if isinstance(value, str):
        return '"' + quote(value, safe="") + '"'
    return str(value)


def attributes(data):
    return [f"{name}={text(value)}" for name, value in sorted(data.items())]


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
    if variant == "multi":
        graph = nx.MultiGraph()
    else:
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
        if variant in ("text", "typed"):
            data["label"] = "vessel " + name
        if variant == "typed":
            data["label"] += " \u00e9 & <b>"
            data["open"] = i % 2 == 0
            data["generation"] = i * 1000000007
        graph.add_node(name, **data)
    edges = [("e", "a"), ("a", "c"), ("c", "e"), ("b", "b"), ("d", "a")]
    if directed:
        edges.append(("a", "e"))
    if variant == "multi":
        edges += [("a", "e"), ("e", "a"), ("b", "b")]
    for i, (source, target) in enumerate(edges):
        data = {"diameter": 0.25 * (i + 1), "length": values[i % 5] * 2.0} if with_features or variant == "multi" else {}
        if variant == "typed":
            data = {"kind": "branch " + str(i), "closed": i == 1}
        graph.add_edge(source, target, **data)
    return graph


def igraph_graph():
    import igraph

    graph = igraph.Graph(directed=False)
    graph.add_vertices(4)
    graph.vs["name"] = ["root", "left", "right", "tip & <end>"]
    graph.vs["x"] = [0.0, -1.5, 1.5, 0.25]
    graph.vs["y"] = [0.0, 2.0, 2.0, 0.375]  # igraph writes 15 significant digits
    graph.vs["radius"] = [1.0, 0.5, 0.5, 1e-300]
    graph.vs["visited"] = [True, False, True, False]
    graph.add_edges([(0, 1), (0, 2), (2, 3), (1, 0), (3, 3)])
    graph.es["diameter"] = [2.0, 1.0, 0.75, 5.0, 0.5]
    graph.es["label"] = ["a", "b", "c", "d", "e"]
    return graph


def dump_igraph(graph):
    lines = [f"directed {1 if graph.is_directed() else 0}"]
    for vertex in graph.vs:
        lines.append(" ".join([f"node n{vertex.index}"] + attributes(vertex.attributes())))
    for edge in graph.es:
        lines.append(" ".join([f"edge n{edge.source} n{edge.target}"] + attributes(edge.attributes())))
    print("\n".join(lines))


def main():
    if len(sys.argv) == 3 and sys.argv[1] == "read":
        dump(nx.read_graphml(sys.argv[2]))
    elif len(sys.argv) == 4 and sys.argv[1] in ("write", "write-plain"):
        graph = known_graph(sys.argv[3])
        nx.write_graphml(graph, sys.argv[2], named_key_ids=sys.argv[1] == "write")
        dump(graph)
    elif len(sys.argv) == 3 and sys.argv[1] == "igraph":
        graph = igraph_graph()
        graph.write_graphml(sys.argv[2])
        dump_igraph(graph)
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main()
