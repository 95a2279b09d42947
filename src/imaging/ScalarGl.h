#pragma once

#include "host/lib/ImageMath/GlExprInterface.h"
#include "host/lib/ImageMath/GlTagging.h"
#include "host/lib/ImageMath/ShaderArguments.h"

#include <string>
#include <typeindex>
#include <vector>

namespace Quorvale::ImageMath::internal
{
	/// Counter key of the scalar constants: their uniforms are numbered in one sequence per shader.
	struct ScalarFamily
	{
	};

	/// The GPU side of a scalar constant (`Derived`, which offers `value()`): a float uniform named
	/// prefix + "scalar" + a running number, declared by the constant once tagged and set to its
	/// value (as a float) before each run. Copies carry the name with them.
	template <typename Derived>
	class ScalarGl : public GlExprInterface
	{
	public:
		/// The uniform's name.
		std::string evalString(bool assignNames) override
		{
			if (assignNames)
				tagAndAssignNamesHelper(*this, {});
			return m_name;
		}

		/// Claims a uniform of its own; the tagging key is the address of the constant's value.
		void tagAndAssignNames(TagMap& tags, CounterMap& counters, const std::string& prefix) override
		{
			m_namePrefix = prefix;
			UniformClaim claim = claimUniform(tags, counters, &derived().value(), typeid(ScalarFamily), prefix, "scalar");
			m_name = std::move(claim.name);
			m_declaresUniform = claim.declares;
		}

		/// "uniform float <name>;" and a line break, when this constant declares the uniform.
		void getUniformDefinitionList(std::string& out, const std::string& prefix) const override
		{
			if (m_declaresUniform)
				out += "uniform float " + m_name + ";\n";
		}

		/// Nothing: the constant needs no local variable.
		void getVariableDefinitionList(std::string& out, const std::string& prefix) const override {}

		/// When this constant declares the uniform: sets it to the value under the tagged name with
		/// `prefix` in place of the tagging prefix, and returns 1. Otherwise 0.
		int setArguments(ShaderArguments& arguments, TextureList& textures, const std::string& prefix) override
		{
			if (!m_declaresUniform)
				return 0;
			arguments.setArgument(retaggedName(m_name, m_namePrefix, prefix), static_cast<double>(derived().value()));
			return 1;
		}

		/// None: a constant is a leaf.
		std::vector<const GlExprInterface*> children() const override { return {}; }
		std::vector<GlExprInterface*> children() override { return {}; }

		/// The uniform name; "uninitialized" until tagged.
		const std::string& name() const { return m_name; }

	protected:
		ScalarGl() = default;
		ScalarGl(const ScalarGl&) = default;
		ScalarGl& operator=(const ScalarGl&) = default;

	private:
		const Derived& derived() const { return static_cast<const Derived&>(*this); }

		std::string m_name = "uninitialized";
		std::string m_namePrefix;
		bool m_declaresUniform = false;
	};
}
