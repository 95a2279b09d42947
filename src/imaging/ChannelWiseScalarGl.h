#pragma once

#include "host/lib/ImageMath/GlExprInterface.h"
#include "host/lib/ImageMath/GlTagging.h"
#include "host/lib/ImageMath/ShaderArguments.h"
#include "src/imaging/ConstantGl.h"

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
	/// and `value()`): a vec uniform named prefix + "channelWiseScalar" + element type name +
	/// number, shared by the constants of one value storage in an assembly (see `ConstantGl`).
	template <typename Derived>
	class ChannelWiseScalarGl : public ConstantGl
	{
	public:
		/// "uniform vec<channels> <name>;" and a line break, when this constant owns the uniform.
		void getUniformDefinitionList(std::string& out, const std::string& prefix) const override
		{
			if (declaresUniform())
				out += "uniform vec" + std::to_string(Derived::channelCount) + " " + name() + ";\n";
		}

		/// When this constant owns the uniform: sets it to the value under the tagged name with
		/// `prefix` in place of the tagging prefix, and returns 1. Otherwise sets nothing, returns 0.
		int setArguments(ShaderArguments& arguments, TextureList& textures, const std::string& prefix) override
		{
			static_assert(Derived::channelCount == 3, "constants are uploaded as vec3 uniforms");
			if (!declaresUniform())
				return 0;
			arguments.setArgument(retaggedName(name(), namePrefix(), prefix), Eigen::Vector3d(derived().value().template cast<double>()));
			return 1;
		}

	protected:
		ChannelWiseScalarGl() = default;
		ChannelWiseScalarGl(const ChannelWiseScalarGl&) = default;
		ChannelWiseScalarGl& operator=(const ChannelWiseScalarGl&) = default;

		/// The address of the constant's value.
		const void* tagKey() const override { return &derived().value(); }
		std::type_index family() const override { return typeid(ChannelWiseScalarFamily<typename Derived::Scalar>); }
		/// "channelWiseScalar" + the element type name.
		std::string stem() const override { return "channelWiseScalar" + compactTypeName<typename Derived::Scalar>(); }

	private:
		const Derived& derived() const { return static_cast<const Derived&>(*this); }
	};
}
