#pragma once

#include "host/lib/ImageMath/GlTagging.h"
#include "host/lib/ImageMath/ShaderArguments.h"
#include "src/imaging/ConstantGl.h"

#include <string>
#include <typeindex>

namespace Quorvale::ImageMath::internal
{
	/// Counter key of the scalar constants: their uniforms are numbered in one sequence per shader.
	struct ScalarFamily
	{
	};

	/// The GPU side of a scalar constant (`Derived`, which offers `value()`): a float uniform named
	/// prefix + "scalar" + a running number, set to the value (as a float) before each run.
	template <typename Derived>
	class ScalarGl : public ConstantGl
	{
	public:
		/// "uniform float <name>;" and a line break, when this constant declares the uniform.
		void getUniformDefinitionList(std::string& out, const std::string& prefix) const override
		{
			if (declaresUniform())
				out += "uniform float " + name() + ";\n";
		}

		/// When this constant declares the uniform: sets it to the value under the tagged name with
		/// `prefix` in place of the tagging prefix, and returns 1. Otherwise 0.
		int setArguments(ShaderArguments& arguments, TextureList& textures, const std::string& prefix) override
		{
			if (!declaresUniform())
				return 0;
			arguments.setArgument(retaggedName(name(), namePrefix(), prefix), static_cast<double>(derived().value()));
			return 1;
		}

	protected:
		ScalarGl() = default;
		ScalarGl(const ScalarGl&) = default;
		ScalarGl& operator=(const ScalarGl&) = default;

		const void* tagKey() const override { return &derived().value(); }
		std::type_index family() const override { return typeid(ScalarFamily); }
		std::string stem() const override { return "scalar"; }

	private:
		const Derived& derived() const { return static_cast<const Derived&>(*this); }
	};
}
