#pragma once

#include <vector>

namespace Quorvale
{
	/// The images of a set that an operation works on: a sorted list of distinct indices. What an
	/// empty selection stands for is the reader's policy; by default it selects every image.
	class Selection
	{
	public:
		/// How `isSelected` reads an empty selection.
		enum EmptyPolicy : int
		{
			/// An empty selection selects nothing.
			EmptySelectsNone = 0,
			/// An empty selection selects image 0 only.
			EmptySelectsFirst = 1,
			/// An empty selection selects every image.
			EmptySelectsAll = 2
		};

		Selection() = default;
		/// Sorts and removes duplicates; throws std::invalid_argument for a negative index.
		explicit Selection(std::vector<int> indices);

		const std::vector<int>& indices() const { return m_indices; }
		bool isEmpty() const { return m_indices.empty(); }
		/// Whether `index` is selected; an empty selection is read by `policy` (an unknown policy
		/// reads it as selecting everything).
		bool isSelected(int index, int policy = EmptySelectsAll) const;

		bool operator==(const Selection& other) const { return m_indices == other.m_indices; }
		bool operator!=(const Selection& other) const { return !(*this == other); }

	private:
		std::vector<int> m_indices;
	};
}
