#include "host/lib/ImageMath/ArrayGl.h"

#include <memory>

#include <Eigen/Core>

#include "host/core/Log.h"
#include "host/gl/ContextGuard.h"
#include "host/gl/MemoryBarrier.h"
#include "host/gl/ProgramCache.h"
#include "host/lib/ImageMath/ArrayBase.h"
#include "host/lib/ImageMath/GlEvaluation.h"
#include "host/lib/ImageMath/GlTagging.h"
#include "host/lib/ImageMath/ProgramArguments.h"
#include "host/lib/ImageMath/ShaderArguments.h"
#include "host/lib/SharedImage.h"

namespace Quorvale::ImageMath::internal
{
	namespace
	{
		bool isIntegerImage(const SharedImage* image)
		{
			if (!image)
				return false;
			switch (image->descriptor().pixelType())
			{
				case ImageDescriptor::Char:
				case ImageDescriptor::UnsignedChar:
				case ImageDescriptor::Short:
				case ImageDescriptor::UnsignedShort:
				case ImageDescriptor::Int:
				case ImageDescriptor::UnsignedInt: return true;
				default: return false;
			}
		}

		bool hasMapping(const SharedImage* image) { return image && !image->descriptor().hasIdentityStorageMapping(); }

		const char* samplerPrefix(const SharedImage* image)
		{
			if (!isIntegerImage(image))
				return "";
			switch (image->descriptor().pixelType())
			{
				case ImageDescriptor::Char:
				case ImageDescriptor::Short:
				case ImageDescriptor::Int: return "i";
				default: return "u";
			}
		}
	}

	std::string ArrayGl::evalString(bool assignNames)
	{
		if (assignNames)
			tagAndAssignNamesHelper(*this, {});
		const SharedImage* image = glImage();
		std::string read = isIntegerImage(image) ? "vec4(texelFetch(" + m_name + ", " + voxelCoordinate + ", 0))"
		                                         : "texture(" + m_name + ", " + textureCoordinate + ")";
		const auto* base = dynamic_cast<const ArrayBase*>(exprInterface());
		if (hasMapping(image) && base && !base->rawValues())
			read = "(" + read + " * " + m_name + "Mapping.x + " + m_name + "Mapping.y)";
		return read;
	}

	void ArrayGl::tagAndAssignNames(TagMap& tags, CounterMap& counters, const std::string& prefix)
	{
		m_namePrefix = prefix;
		UniformClaim claim = claimUniform(tags, counters, imageKey(), typeid(ArrayGl), prefix, "image");
		m_name = std::move(claim.name);
		m_declaresSampler = claim.declares;
	}

	void ArrayGl::getUniformDefinitionList(std::string& out, const std::string& prefix) const
	{
		if (!m_declaresSampler)
			return;
		out += "uniform " + std::string(samplerPrefix(glImage())) + "sampler3D " + m_name + ";\n";
		if (hasMapping(glImage()))
			out += "uniform vec3 " + m_name + "Mapping;\n";
	}

	int ArrayGl::setArguments(ShaderArguments& arguments, TextureList& textures, const std::string& prefix)
	{
		if (!m_declaresSampler)
			return 0;
		const int unit = static_cast<int>(textures.size());
		textures.push_back({glImage(), m_magFilter, m_wrap});
		const std::string name = retaggedName(m_name, m_namePrefix, prefix);
		arguments.setArgument(name, unit);
		if (!hasMapping(glImage()))
			return 1;
		const ImageDescriptor& layout = glImage()->descriptor();
		arguments.setArgument(name + "Mapping", Eigen::Vector3d(layout.slope(), layout.intercept(), 0.0));
		return 2;
	}

	bool ArrayGl::setMagFilter(std::uint32_t filter)
	{
		const bool changed = filter != m_magFilter;
		m_magFilter = filter;
		return changed;
	}

	bool ArrayGl::setWrap(std::uint32_t wrap)
	{
		const bool changed = wrap != m_wrap;
		m_wrap = wrap;
		return changed;
	}

	namespace
	{
		/// Whether the images of an assignment can all be textures of the target's layout, and
		/// whether one of them is the target itself.
		struct ImageCheck
		{
			bool fits = false;
			bool readsTarget = false;
		};

		ImageCheck checkImages(const std::vector<const SharedImage*>& images, const SharedImage& target, const ImageDescriptor& layout)
		{
			ImageCheck check;
			for (const SharedImage* image : images)
			{
				if (!GlImage::canHold(image->descriptor()) || image->descriptor().dimensions() != layout.dimensions())
					return check;
				check.readsTarget = check.readsTarget || image == &target;
			}
			check.fits = true;
			return check;
		}

		/// Runs the assignment program over the target's voxels, writing into the target's GPU
		/// copy, or into a new one when the shader samples the target (it would see its own
		/// writes) or the target has none yet.
		void dispatchAssignment(GL::Program& program, SharedImage& target, const ImageDescriptor& layout, bool readsTarget)
		{
			std::unique_ptr<GlImage> fresh;
			GlImage* output = nullptr;
			if (readsTarget || !target.hasGl())
			{
				fresh = std::make_unique<GlImage>(layout);
				output = fresh.get();
			}
			else
				output = &target.gl();
			program.bindImage(0, output->texture(), GL::Program::Access::WriteOnly);
			const Eigen::Vector3i& d = layout.dimensions();
			program.dispatchCompute(static_cast<unsigned int>((d.x() + assignmentGroupSize[0] - 1) / assignmentGroupSize[0]),
			                        static_cast<unsigned int>((d.y() + assignmentGroupSize[1] - 1) / assignmentGroupSize[1]),
			                        static_cast<unsigned int>((d.z() + assignmentGroupSize[2] - 1) / assignmentGroupSize[2]));
			GL::memoryBarrier(GL::Barrier::All);
			if (fresh)
				target.setGl(std::move(fresh));
			else
				target.setDirtyGl();
		}
	}

	bool ArrayGl::assignGl(GlExprInterface& expression)
	{
		const SharedImage* constTarget = glImage();
		const auto* destination = dynamic_cast<const ArrayBase*>(exprInterface());
		const ExprInterface* source = expression.exprInterface();
		if (!constTarget || !destination || !source || destination->deviceStrategy() == CpuOnly)
			return false;
		// The array writes its image: it refers to it without const only for the GPU side's sake.
		SharedImage& target = const_cast<SharedImage&>(*constTarget);
		std::vector<const SharedImage*> images;
		if (!collectImages(expression, images) || !mayUseGpu(source->deviceSupport(), target, images))
			return false;

		const ImageDescriptor layout = target.descriptor();
		const ImageDescriptor result = source->imgDesc();
		if (!GlImage::canHold(layout) || result.channels() != layout.channels())
			return false;
		const ImageCheck check = checkImages(images, target, layout);
		if (!check.fits)
			return false;

		// A thread that cannot have the context now (another one evaluates) takes the CPU path.
		GL::ContextGuard guard(GL::ContextGuard::TryOnly);
		if (!guard)
			return false;
		try
		{
			tagAndAssignNamesHelper(expression, {});
			const bool mapToStorage = !destination->rawValues() && !layout.hasIdentityStorageMapping();
			std::shared_ptr<GL::Program> program = expressionPrograms().getProgram(assignmentShaderSource(expression, layout, mapToStorage));
			ProgramArguments arguments(*program);
			TextureList textures;
			expression.setArguments(arguments, textures, {});
			program->setArgument("quorvaleSize", layout.dimensions());
			if (mapToStorage)
				program->setArgument("quorvaleTargetMapping", Eigen::Vector2d(layout.slope(), layout.intercept()));
			bindTextures(textures);
			dispatchAssignment(*program, target, layout, check.readsTarget);
			return true;
		}
		catch (const std::exception& e)
		{
			Log::log(Log::Debug, "ImageMath", std::string("GPU assignment declined: ") + e.what());
			return false;
		}
	}
}
