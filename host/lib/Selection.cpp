#include "host/lib/Selection.h"

#include <algorithm>
#include <stdexcept>
#include <string>

namespace Quorvale
{
	Selection::Selection(std::vector<int> indices)
	    : m_indices(std::move(indices))
	{
		for (int index : m_indices)
			if (index < 0)
				throw std::invalid_argument("Selection index " + std::to_string(index) + " is negative");
		std::sort(m_indices.begin(), m_indices.end());
		m_indices.erase(std::unique(m_indices.begin(), m_indices.end()), m_indices.end());
	}

	bool Selection::isSelected(int index, int policy) const
	{
		if (index < 0)
			return false;
		if (m_indices.empty())
		{
			switch (policy)
			{
				case EmptySelectsNone: return false;
				case EmptySelectsFirst: return index == 0;
				default: return true;
			}
		}
		return std::binary_search(m_indices.begin(), m_indices.end(), index);
	}
}
