#pragma once

#include "host/lib/ImageMath/GlExprInterface.h"

#include <string>
#include <typeindex>
#include <vector>

namespace Quorvale::ImageMath::internal
{
	/// The GPU side shared by the constants of an expression: a uniform holding the constant.
	///
	/// Untagged a constant has no uniform; tagging makes it the owner of a uniform named prefix +
	/// `stem()` + the running number of its `family()`, or, when a node with the same tagging key
	/// was tagged before in the same assembly, a sharer of that node's uniform. Copies carry the
	/// state with them.
	class ConstantGl : public GlExprInterface
	{
	public:
		/// The uniform's name.
		std::string evalString(bool assignNames) override;
		/// Claims the uniform of `tagKey()`.
		void tagAndAssignNames(TagMap& tags, CounterMap& counters, const std::string& prefix) override;
		/// Nothing: a constant needs no local variable.
		void getVariableDefinitionList(std::string& out, const std::string& prefix) const override {}
		/// None: a constant is a leaf.
		std::vector<const GlExprInterface*> children() const override { return {}; }
		std::vector<GlExprInterface*> children() override { return {}; }

		/// The uniform name; "uninitialized" until tagged.
		const std::string& name() const { return m_name; }
		/// The prefix of the last tagging.
		const std::string& namePrefix() const { return m_namePrefix; }
		/// True when this constant declares its uniform.
		bool declaresUniform() const { return m_declaresUniform; }

	protected:
		ConstantGl() = default;
		ConstantGl(const ConstantGl&) = default;
		ConstantGl& operator=(const ConstantGl&) = default;

		/// The address that identifies the constant's value in an assembly.
		virtual const void* tagKey() const = 0;
		/// The counter that numbers the uniforms of this kind of constant.
		virtual std::type_index family() const = 0;
		/// The start of the uniform's name after the prefix.
		virtual std::string stem() const = 0;

	private:
		std::string m_name = "uninitialized";
		std::string m_namePrefix;
		bool m_declaresUniform = false;
	};
}
