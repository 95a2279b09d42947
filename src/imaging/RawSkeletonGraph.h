#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <tuple>
#include <vector>

namespace Quorvale
{
	namespace detail
	{
		/// A sparse undirected graph with weighted edges, keyed nodes and a payload per node, built
		/// once in ascending key order and then only thinned out by removing edges.
		///
		/// Storage is compressed: the node keys in one ascending array and the entries (neighbour key,
		/// weight) of all nodes in another, each node owning a contiguous run kept in ascending
		/// neighbour order. Runs only shrink, so removing an edge never reallocates. Nodes are found
		/// by binary search. Every visit runs in ascending key order, and within a node in ascending
		/// neighbour order.
		///
		/// An edge is stored in both of its nodes' runs with the same weight; the builder must add
		/// both entries (`appendNode` and `appendEntry` check the order, not the symmetry).
		template <typename Weight, typename Payload, typename Key>
		class GraphImpl
		{
		public:
			/// One neighbour of a node.
			struct Entry
			{
				Key key;
				Weight weight;

				bool operator==(const Entry& other) const { return key == other.key && weight == other.weight; }
			};

			/// The live entries of one node.
			class Entries
			{
			public:
				Entries(const Entry* begin, const Entry* end)
				    : m_begin(begin)
				    , m_end(end)
				{
				}
				const Entry* begin() const { return m_begin; }
				const Entry* end() const { return m_end; }
				std::size_t size() const { return static_cast<std::size_t>(m_end - m_begin); }
				bool empty() const { return m_begin == m_end; }
				const Entry& operator[](std::size_t i) const { return m_begin[i]; }

			private:
				const Entry* m_begin;
				const Entry* m_end;
			};

			/// Number of nodes, including those that lost all their entries.
			std::size_t nodeCount() const { return m_keys.size(); }
			/// Number of edges (each stored pair counts once).
			std::size_t edgeCount() const
			{
				std::size_t entries = 0;
				for (std::uint32_t size : m_sizes)
					entries += size;
				return entries / 2;
			}
			bool empty() const { return m_keys.empty(); }

			/// Position of the node `key` in ascending key order, or empty when it is not a node.
			std::optional<std::size_t> find(Key key) const
			{
				const auto it = std::lower_bound(m_keys.begin(), m_keys.end(), key);
				if (it == m_keys.end() || *it != key)
					return std::nullopt;
				return static_cast<std::size_t>(it - m_keys.begin());
			}
			/// Position of the node `key`; throws std::out_of_range with "invalid map<K, T> key" when
			/// it is not a node.
			std::size_t at(Key key) const
			{
				const auto index = find(key);
				if (!index)
					throw std::out_of_range("invalid map<K, T> key");
				return *index;
			}
			bool hasNode(Key key) const { return find(key).has_value(); }

			/// Key, payload and entries of the node at a position (no range check).
			Key key(std::size_t index) const { return m_keys[index]; }
			const Payload& payload(std::size_t index) const { return m_payloads[index]; }
			Entries entries(std::size_t index) const
			{
				const Entry* first = m_entries.data() + m_offsets[index];
				return Entries(first, first + m_sizes[index]);
			}
			/// Entries of the node `key`; throws like `at`.
			Entries entriesOf(Key key) const { return entries(at(key)); }

			/// Weight of the edge a–b as stored at a, or empty when there is none.
			std::optional<Weight> weight(Key a, Key b) const
			{
				const auto index = find(a);
				if (!index)
					return std::nullopt;
				for (const Entry& entry : entries(*index))
					if (entry.key == b)
						return entry.weight;
				return std::nullopt;
			}

			/// Appends a node with no entries. Throws std::invalid_argument, changing nothing, unless
			/// `key` is larger than every key so far.
			void appendNode(Key key, Payload payload = {})
			{
				if (!m_keys.empty() && !(m_keys.back() < key))
					throw std::invalid_argument("Raw graph nodes must be appended in ascending key order");
				m_keys.push_back(key);
				m_payloads.push_back(std::move(payload));
				m_offsets.push_back(m_entries.size());
				m_sizes.push_back(0);
			}
			/// Appends an entry to the last node. Throws std::invalid_argument, changing nothing,
			/// without a node, for the node's own key, or unless `neighbour` is larger than the node's
			/// earlier entries.
			void appendEntry(Key neighbour, Weight weight)
			{
				if (m_keys.empty() || neighbour == m_keys.back())
					throw std::invalid_argument("A raw graph entry needs a node other than its neighbour");
				if (m_sizes.back() != 0 && !(m_entries.back().key < neighbour))
					throw std::invalid_argument("Raw graph entries must be appended in ascending key order");
				m_entries.push_back(Entry{neighbour, weight});
				++m_sizes.back();
			}
			/// Reserves room for the given numbers of nodes and entries (two per edge).
			void reserve(std::size_t nodes, std::size_t entries)
			{
				m_keys.reserve(nodes);
				m_payloads.reserve(nodes);
				m_offsets.reserve(nodes);
				m_sizes.reserve(nodes);
				m_entries.reserve(entries);
			}

			/// Removes the entry of a for b and that of b for a; both nodes stay. Returns whether a
			/// held an entry for b.
			bool removeEdge(Key a, Key b)
			{
				const bool removed = removeEntry(a, b);
				removeEntry(b, a);
				return removed;
			}

			/// Same nodes, payloads and entries.
			bool operator==(const GraphImpl& other) const
			{
				if (m_keys != other.m_keys || m_payloads != other.m_payloads)
					return false;
				for (std::size_t i = 0; i < m_keys.size(); ++i)
				{
					const Entries mine = entries(i), theirs = other.entries(i);
					if (!std::equal(mine.begin(), mine.end(), theirs.begin(), theirs.end()))
						return false;
				}
				return true;
			}
			bool operator!=(const GraphImpl& other) const { return !(*this == other); }

		private:
			bool removeEntry(Key node, Key neighbour)
			{
				const auto index = find(node);
				if (!index)
					return false;
				Entry* first = m_entries.data() + m_offsets[*index];
				Entry* last = first + m_sizes[*index];
				Entry* found = std::find_if(first, last, [neighbour](const Entry& e) { return e.key == neighbour; });
				if (found == last)
					return false;
				std::copy(found + 1, last, found);
				--m_sizes[*index];
				return true;
			}

			std::vector<Key> m_keys;
			std::vector<Payload> m_payloads;
			std::vector<std::size_t> m_offsets;
			std::vector<std::uint32_t> m_sizes;
			std::vector<Entry> m_entries;
		};
	}

	/// The voxel graph of a skeleton image: one node per skeleton voxel that has a skeleton
	/// neighbour, keyed by the voxel's linear index x + nx·(y + ny·z), with an edge to each
	/// neighbouring skeleton voxel weighted by the number of axes the step crosses (1, 2 or 3).
	using RawSkeletonGraph = detail::GraphImpl<int, std::tuple<>, std::uint64_t>;
}
