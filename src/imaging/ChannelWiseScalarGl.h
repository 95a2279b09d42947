#pragma once

#include "host/lib/ImageMath/GlExprInterface.h"
#include "host/lib/ImageMath/GlTagging.h"
#include "host/lib/ImageMath/ShaderArguments.h"

#include <Eigen/Core>

#include <string>
#include <typeindex>
#include <vector>

namespace Quorvale::ImageMath::internal
{
	/// Counter key shared by the channel-wise constants of one element type, whatever their
	/// channel count: their uniforms are numbered in one sequence per shader.
	template <typename T>
	struct ChannelWiseScalarFamily
	{
	};

	/// The GPU side of a channel-wise constant (`Derived`, which offers `Scalar`, `channelCount`
	/// and `value()`): a vec uniform holding the constant.
	///
	/// Untagged the constant has no uniform; tagging makes it the owner of a uniform named
	/// prefix + "channelWiseScalar" + element type name + number, or, when a node with the same
	/// value storage was tagged before in the same assembly, a sharer of that node's uniform.
	/// Copies carry the state with them.
	template <typename Derived>
	class ChannelWiseScalarGl : public GlExprInterface
	{
	public:
		/// The uniform's name.
		std::string evalString(bool assignNames) override
		{
			if (assignNames)
				tagAndAssignNamesHelper(*this, {});
			return m_name;
		}

		/// Claims the uniform; the tagging key is the address of the constant's value.
		void tagAndAssignNames(TagMap& tags, CounterMap& counters, const std::string& prefix) override
		{
			using Scalar = typename Derived::Scalar;
			m_namePrefix = prefix;
			UniformClaim claim = claimUniform(tags, counters, &derived().value(), typeid(ChannelWiseScalarFamily<Scalar>), prefix,
			                                  "channelWiseScalar" + compactTypeName<Scalar>());
			m_name = std::move(claim.name);
			m_declaresUniform = claim.declares;
		}

		/// "uniform vec<channels> <name>;" and a line break, when this constant owns the uniform.
		void getUniformDefinitionList(std::string& out, const std::string& prefix) const override
		{
			if (m_declaresUniform)
				out += "uniform vec" + std::to_string(Derived::channelCount) + " " + m_name + ";\n";
		}

		/// Nothing: the constant needs no local variable.
		void getVariableDefinitionList(std::string& out, const std::string& prefix) const override {}

		/// When this constant owns the uniform: sets it to the value under the tagged name with
		/// `prefix` in place of the tagging prefix, and returns 1. Otherwise sets nothing, returns 0.
		int setArguments(ShaderArguments& arguments, TextureList& textures, const std::string& prefix) override
		{
			static_assert(Derived::channelCount == 3, "constants are uploaded as vec3 uniforms");
			if (!m_declaresUniform)
				return 0;
			arguments.setArgument(retaggedName(m_name, m_namePrefix, prefix), Eigen::Vector3d(derived().value().template cast<double>()));
			return 1;
		}

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
		ChannelWiseScalarGl() = default;
		ChannelWiseScalarGl(const ChannelWiseScalarGl&) = default;
		ChannelWiseScalarGl& operator=(const ChannelWiseScalarGl&) = default;

	private:
		const Derived& derived() const { return static_cast<const Derived&>(*this); }

		std::string m_name = "uninitialized";
		std::string m_namePrefix;
		bool m_declaresUniform = false;
	};
}
