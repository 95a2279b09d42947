#pragma once

#include <iosfwd>
#include <memory>

namespace Quorvale
{
	class Graph;

	/// Reads a GraphML document into a new graph, as other programs write it.
	///
	/// - Keys: `for` is "node", "edge" or "all" (also when it is missing); other domains are skipped.
	///   A key names its column by `attr.name`, or by `id` when that is missing or empty; data
	///   elements refer to keys by id. Keys of one domain that share a name share one column. A key
	///   id may be declared once per domain.
	/// - By `attr.type`: "int", "long", "float" and "double" keys (and keys without a type) are
	///   features; "boolean" keys are features of 0 and 1 (written true, false, True, False, 1 or 0);
	///   "string" keys become text parameters of the node's or edge's attributes. A key's `default`
	///   applies to the nodes or edges that carry no value for it.
	/// - Node keys named x, y and z (and data of the undeclared ids "x", "y", "z") are the node's
	///   position, which must be finite. The graph is 3-D when a node key is named z or, without
	///   one, when the first node holds data of key "z"; a 2-D graph ignores z data.
	/// - Every `graph` child of the root adds to the one graph; `edgedefault` "directed" (or none)
	///   makes it directed. Nodes are numbered from 1 in document order; an edge may name any node of
	///   the document. Of edges between the same nodes (parallel edges) the first is kept, with one
	///   warning that counts the others.
	///
	/// Refused, with the reason logged at level 4 (its line where one element is to blame): a
	/// document that is not well-formed UTF-8 XML, holds a document type declaration, nests elements
	/// deeper than 1,000 levels, writes GraphML's elements with a namespace prefix, or whose graph
	/// would not fit in memory (MemoryLimit); a value that does not read as its key's type; two
	/// nodes with one id; an edge naming no node of the document; a feature name that no file format
	/// of the graph carries (FeatureNames).
	///
	/// The text is parsed three times by a streaming parser, which holds no tree and recurses on
	/// nothing: once to learn the keys and what the graph will cost, once for the nodes, once for the
	/// edges. The document's text is held throughout.
	class GraphMLReader
	{
	public:
		/// The graph of the document that `in` holds; null when it cannot be read.
		static std::unique_ptr<Graph> read(std::istream& in);

		GraphMLReader() = delete;
	};
}
