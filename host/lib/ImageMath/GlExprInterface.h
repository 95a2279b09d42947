#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <typeindex>
#include <vector>

namespace Quorvale
{
	class SharedImage;
}

namespace Quorvale::ImageMath
{
	class ExprInterface;
	class ShaderArguments;
}

namespace Quorvale::ImageMath::internal
{
	/// One shader assembly's declarations: tagging key (an address the node chooses, so that
	/// nodes reading the same data share one uniform) to the GLSL name of the node that declares it.
	using TagMap = std::map<const void*, std::string>;
	/// One shader assembly's name counters, one per node family.
	using CounterMap = std::map<std::type_index, int>;

	/// A texture that an expression samples, with the sampling it asks for.
	struct TextureBinding
	{
		const SharedImage* image = nullptr;
		std::uint32_t magFilter = 0;
		std::uint32_t wrap = 0;
	};
	/// The textures of one shader run; the position of an entry is its texture unit.
	using TextureList = std::vector<TextureBinding>;

	/// The GPU side of an image expression node: the pieces from which a compute shader is
	/// assembled. A shader assembly names the tree once (`tagAndAssignNames` on the root), collects
	/// the uniform and variable declarations, places `evalString` of the root in the main
	/// function, and before each run passes the uniform values and textures with `setArguments`.
	///
	/// The default implementations of the tree operations visit the children in order.
	class GlExprInterface
	{
	public:
		virtual ~GlExprInterface();

		/// The GLSL expression of the node's value at the current voxel. With `assignNames` the
		/// tree below this node is first named afresh with an empty prefix.
		virtual std::string evalString(bool assignNames) = 0;
		/// Gives this node (and its children) their GLSL names; `prefix` starts every new name.
		virtual void tagAndAssignNames(TagMap& tags, CounterMap& counters, const std::string& prefix);
		/// Appends the uniform declarations (one line each) that this node owns.
		virtual void getUniformDefinitionList(std::string& out, const std::string& prefix) const;
		/// Appends the local variable definitions that this node needs.
		virtual void getVariableDefinitionList(std::string& out, const std::string& prefix) const;
		/// Passes this node's uniform values to `arguments`, naming each with `prefix` in place of
		/// the prefix it was tagged with, and appends the textures it samples. Returns the number of
		/// uniforms set.
		virtual int setArguments(ShaderArguments& arguments, TextureList& textures, const std::string& prefix);
		/// The GL sides of the direct operands, in order.
		virtual std::vector<const GlExprInterface*> children() const = 0;
		virtual std::vector<GlExprInterface*> children() = 0;
		/// Sets the magnification filter of the textures below this node; true when one changed.
		virtual bool setMagFilter(std::uint32_t filter);
		/// Sets the wrap mode of the textures below this node; true when one changed.
		virtual bool setWrap(std::uint32_t wrap);

		/// The evaluation side of the same node; null for a node that has none.
		const ExprInterface* exprInterface() const;
		ExprInterface* exprInterface();

	protected:
		GlExprInterface() = default;
		GlExprInterface(const GlExprInterface&) = default;
		GlExprInterface& operator=(const GlExprInterface&) = default;
	};
}
