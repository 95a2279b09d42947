#pragma once

#include "host/lib/QuorvaleFilePlugin.h"

#include <cstdint>

namespace Quorvale
{
	/// Stores a `Graph` as one block of the host's .qvf file. The body holds, little-endian and in
	/// this order: "GRAPH:", "METADATA:", the matrix to world (16 f64, column after column), the
	/// directed and 2-D flags (u8 each), the maximum node identifier (u64), the node and then the
	/// edge feature descriptors (u32 count; per descriptor u32 name length, name, f64 default),
	/// "NODES:", the node count (u64) and per node in ascending identifier order its identifier
	/// (u64), position (3 f64), features and attributes; "EDGES:", the edge count (u64) and per
	/// edge (each once: at its source, or with from ≤ to when undirected) from, to (u64), features
	/// and attributes. Features are f64, as many as the matching descriptor count; attributes are a
	/// u32 length and the attributes' Properties text (format 4), length 0 when they are empty.
	/// A new, empty graph makes a body of 209 bytes.
	class GraphQuorvaleFilePlugin : public QuorvaleFilePlugin
	{
	public:
		/// The block type graphs are saved under.
		static constexpr uint32_t kBlockType = 158323;

		/// A handler that saves graphs under `blockType + typeOffset` and reads blocks of that type.
		explicit GraphQuorvaleFilePlugin(uint32_t blockType = kBlockType, uint32_t typeOffset = 0);
		~GraphQuorvaleFilePlugin() override;

		/// A new undirected 3-D `Graph` for a block of this handler's type, else null.
		std::unique_ptr<Data> createData(uint32_t blockType) const override;
		/// This handler's block type for a `Graph` (or a type derived from it), 0 for other data.
		uint32_t blockType(const Data& data) const override;
		/// Reads a body into `data`, a graph from `createData`: its feature descriptors are replaced
		/// by the stored ones, then settings, nodes and edges are read. Every length and count is
		/// checked against the bytes the block holds. False, with the reason logged (level 4, default
		/// category), when `data` is not a graph or the body is damaged, truncated or inconsistent
		/// (an edge to a node that is not stored), names a feature so that no file format carries it
		/// (FeatureNames: empty, not UTF-8, a control character) or holds a matrix to world that is not
		/// finite; the graph then keeps what was read before.
		/// `bodySize` is not needed: the stream tells where the block ends.
		bool load(uint64_t bodySize, Data& data, std::istream& body) const override;
		/// Writes the body of `data`. False, with the reason logged, when `data` is not a graph, a
		/// name or attribute text does not fit its u32 length, attributes cannot be turned into text,
		/// the block would be refused on reading (a feature name, the matrix; see `load`), or the
		/// stream fails.
		bool write(const Data& data, std::ostream& body) const override;

	private:
		uint32_t m_blockType;
		uint32_t m_typeOffset;
	};
}
