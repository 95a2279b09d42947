#pragma once

#include <QMetaType>

#include <cstdint>
#include <string>

namespace Quorvale::detail
{
	/// Names one feature column of a graph: an edge feature (kind 0) or a node feature (kind 1). The
	/// item data of the feature list of the colour-map panel.
	struct FeatureKey
	{
		enum Kind : int32_t
		{
			Edge = 0,
			Node = 1
		};

		int32_t kind = Edge;
		std::string name;

		/// Registers the type with Qt (under its full name and the short alias); safe to call repeatedly.
		static void registerMetaType();

		bool operator<(const FeatureKey& other) const { return kind != other.kind ? kind < other.kind : name < other.name; }
		bool operator==(const FeatureKey& other) const { return kind == other.kind && name == other.name; }
		bool operator!=(const FeatureKey& other) const { return !(*this == other); }
	};
}

Q_DECLARE_METATYPE(Quorvale::detail::FeatureKey)
