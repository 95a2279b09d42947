#include "host/gui/GlSlice.h"

#include <Eigen/Geometry>

#include "host/gl/FixedFunctionPipeline.h"
#include "host/gl/DisplayTexture.h"
#include "host/gl/VertexBuffer.h"
#include "host/lib/Data.h"
#include "host/lib/MemImage.h"
#include "host/lib/SharedImage.h"
#include "host/lib/SharedImageSet.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <exception>
#include <optional>
#include <thread>

namespace Quorvale
{
	namespace
	{
		/// A distinct colour per label: hues spread by the golden angle.
		std::array<std::uint8_t, 3> labelColor(long label)
		{
			if (label == 0)
				return {0, 0, 0};
			const double hue = std::fmod(static_cast<double>(label) * 137.508, 360.0) / 60.0;
			const double x = 1.0 - std::fabs(std::fmod(hue, 2.0) - 1.0);
			double r = 0, g = 0, b = 0;
			switch (static_cast<int>(hue))
			{
			case 0: r = 1, g = x; break;
			case 1: r = x, g = 1; break;
			case 2: g = 1, b = x; break;
			case 3: g = x, b = 1; break;
			case 4: r = x, b = 1; break;
			default: r = 1, b = x; break;
			}
			const auto byte = [](double c) { return static_cast<std::uint8_t>(std::lround(55 + 200 * c)); };
			return {byte(r), byte(g), byte(b)};
		}
	}

	GlSlice::GlSlice(int axis)
	    : m_axis(std::clamp(axis, 0, 2))
	{
	}

	GlSlice::~GlSlice() = default;

	void GlSlice::setImage(SharedImageSet* image)
	{
		m_image = image;
		m_built = {};
		m_rangeOf = {};
		m_slice.reset();
		m_job.reset();
	}

	std::array<int, 2> GlSlice::planeAxes() const
	{
		return m_axis == 0 ? std::array<int, 2>{1, 2} : m_axis == 1 ? std::array<int, 2>{0, 2} : std::array<int, 2>{0, 1};
	}

	int GlSlice::count() const { return !m_image || m_image->isEmpty() ? 0 : m_image->get()->descriptor().dimensions()[m_axis]; }

	int GlSlice::index() const
	{
		const int size = count();
		if (size == 0)
			return 0;
		return m_index < 0 ? size / 2 : std::min(m_index, size - 1);
	}

	bool GlSlice::step(int slices)
	{
		const int size = count();
		if (size == 0)
			return false;
		const int from = index();
		const long long to = std::clamp(static_cast<long long>(from) + slices, 0LL, static_cast<long long>(size) - 1);
		m_index = static_cast<int>(to);
		return m_index != from;
	}

	bool GlSlice::showsVolume() const
	{
		return !m_image || m_image->isEmpty() || m_image->get()->descriptor().dimensions().z() > 1;
	}

	Geometry::AlignedBox GlSlice::boundsOf(const SharedImageSet* set)
	{
		Geometry::AlignedBox box;
		if (!set || set->isEmpty())
			return box;
		const SharedImage* image = set->get();
		const Eigen::Matrix4d toWorld = image->descriptorWorld().pixelToWorldMatrix();
		const Eigen::Vector3d dims = image->descriptor().dimensions().cast<double>();
		for (int corner = 0; corner < 8; ++corner)
		{
			const Eigen::Vector3d p((corner & 1) ? dims.x() - 0.5 : -0.5, (corner & 2) ? dims.y() - 0.5 : -0.5, (corner & 4) ? dims.z() - 0.5 : -0.5);
			box.addPoint((toWorld * p.homogeneous()).head<3>());
		}
		return box;
	}

	bool GlSlice::planePoint(Eigen::Vector3d& point) const
	{
		if (!m_image || m_image->isEmpty())
			return false;
		const SharedImage* image = m_image->get();
		Eigen::Vector3d pixel = (image->descriptor().dimensions().cast<double>() - Eigen::Vector3d::Ones()) / 2.0;
		pixel[m_axis] = index();
		point = (image->descriptorWorld().pixelToWorldMatrix() * pixel.homogeneous()).head<3>();
		return true;
	}

	bool GlSlice::isBuilt() const
	{
		const SharedImage* image = m_image->get();
		return m_slice && m_built.image == image && m_built.version == image->valuesVersion() && m_built.labels == showsLabels() &&
		       m_built.index == index();
	}

	bool GlSlice::showsLabels() const { return m_image->get()->modality() == Data::LabelMap || m_image->modality() == Data::LabelMap; }

	bool GlSlice::plane(Eigen::Vector3d& point, Eigen::Vector3d& normal) const
	{
		if (!planePoint(point))
			return false;
		const Eigen::Matrix4d toWorld = m_image->get()->descriptorWorld().pixelToWorldMatrix();
		const auto [u, v] = planeAxes();
		normal = toWorld.block<3, 1>(0, u).cross(toWorld.block<3, 1>(0, v)).normalized();
		return true;
	}

	namespace
	{
		std::atomic<std::size_t> g_buildApartBytes{std::size_t(256) << 20};
	}

	std::size_t GlSlice::buildApartBytes() { return g_buildApartBytes; }

	void GlSlice::setBuildApartBytes(std::size_t bytes) { g_buildApartBytes = bytes; }

	struct GlSlice::Job
	{
		Built key;
		int width = 0;
		int height = 0;
		/// The value window; read by the job unless `rangeKnown`.
		std::optional<MemImage::ValueRange> range;
		bool rangeKnown = false;
		std::vector<std::uint8_t> rgba;
		std::atomic<bool> done{false};
	};

	std::vector<std::uint8_t> GlSlice::pixels(const MemImage& mem, int axis, int index, bool labels,
	                                          const std::optional<MemImage::ValueRange>& range)
	{
		const auto dims = mem.descriptor().dimensions();
		const int u = axis == 0 ? 1 : 0, v = axis == 2 ? 1 : 2;
		const double low = range ? range->low : 0.0;
		const double span = range && range->high > range->low ? range->high - range->low : 1.0;
		const int width = dims[u], height = dims[v];
		std::vector<std::uint8_t> rgba(static_cast<size_t>(width) * static_cast<size_t>(height) * 4);
		for (int j = 0; j < height; ++j)
			for (int i = 0; i < width; ++i)
			{
				Eigen::Vector3d pixel;
				pixel[axis] = index;
				pixel[u] = i;
				pixel[v] = j;
				const double value = mem.valueAt(pixel, 0, false, 0.0);
				std::uint8_t* out = rgba.data() + (static_cast<size_t>(j) * static_cast<size_t>(width) + static_cast<size_t>(i)) * 4;
				if (labels)
				{
					const auto c = labelColor(std::lround(value));
					std::copy(c.begin(), c.end(), out);
				}
				else
				{
					const auto grey = static_cast<std::uint8_t>(std::lround(255.0 * std::clamp((value - low) / span, 0.0, 1.0)));
					out[0] = out[1] = out[2] = grey;
				}
				out[3] = 255;
			}
		return rgba;
	}

	void GlSlice::rebuild()
	{
		const SharedImage* image = m_image->get();
		const auto dims = image->descriptor().dimensions();
		const auto [u, v] = planeAxes();
		const bool labels = showsLabels();
		const Built wanted{image, image->valuesVersion(), labels, index()};
		m_waiting = false;
		if (image->mem()->byteSize() < buildApartBytes())
		{
			// The value window: the image's whole range, which the image keeps between changes.
			const std::vector<std::uint8_t> rgba = pixels(*image->mem(), m_axis, wanted.index, labels, labels ? std::nullopt : image->valueRange());
			m_slice = std::make_unique<GL::DisplayTexture>(0x1401 /* GL_UNSIGNED_BYTE */, dims[u], dims[v], 1, 4, rgba.data());
			m_built = wanted;
			return;
		}
		// A large volume is sampled on a thread of its own while the views go on; the job keeps the
		// values alive and is dropped, not waited for, when another slice is wanted meanwhile.
		if (m_job && m_job->done && sameKey(m_job->key, wanted))
		{
			m_slice = std::make_unique<GL::DisplayTexture>(0x1401 /* GL_UNSIGNED_BYTE */, m_job->width, m_job->height, 1, 4, m_job->rgba.data());
			m_built = wanted;
			if (!labels)
				m_rangeOf = wanted, m_range = m_job->range;
			m_job.reset();
			return;
		}
		m_waiting = true;
		if (m_job && sameKey(m_job->key, wanted))
			return;
		auto job = std::make_shared<Job>();
		job->key = wanted;
		job->width = dims[u];
		job->height = dims[v];
		// The whole volume is read for its range once per change of its values, not once per slice.
		job->rangeKnown = labels || (m_rangeOf.image == image && m_rangeOf.version == wanted.version);
		if (!labels && job->rangeKnown)
			job->range = m_range;
		m_job = job;
		std::thread(
		    [job, memory = image->sharedMem(), axis = m_axis]
		    {
			    try
			    {
				    if (!job->rangeKnown)
					    job->range = memory->valueRange();
				    job->rgba = pixels(*memory, axis, job->key.index, job->key.labels, job->range);
			    }
			    catch (const std::exception&)
			    {
				    // An unreadable image shows no slice.
				    job->rgba.assign(static_cast<size_t>(job->width) * static_cast<size_t>(job->height) * 4, 0);
			    }
			    job->done = true;
		    })
		    .detach();
	}

	bool GlSlice::sameKey(const Built& a, const Built& b)
	{
		return a.image == b.image && a.version == b.version && a.labels == b.labels && a.index == b.index;
	}

	const GL::DisplayTexture* GlSlice::sliceImage()
	{
		m_waiting = false;
		if (!m_image || m_image->isEmpty())
			return nullptr;
		if (isBuilt())
			return m_slice.get();
		rebuild();
		if (!m_waiting)
			return m_slice.get();
		// While the slice is sampled the last one of the same values stands in for it.
		const SharedImage* image = m_image->get();
		return m_slice && m_built.image == image && m_built.version == image->valuesVersion() && m_built.labels == showsLabels() ? m_slice.get()
		                                                                                                                             : nullptr;
	}

	void GlSlice::draw(const GL::ViewState& viewState)
	{
		const GL::DisplayTexture* built = sliceImage();
		if (!built)
			return;
		const SharedImage* image = m_image->get();
		const Eigen::Matrix4d toWorld = image->descriptorWorld().pixelToWorldMatrix();
		const auto dims = image->descriptor().dimensions();
		const auto [u, v] = planeAxes();
		std::vector<Eigen::Vector3d> corners;
		for (const auto& [a, b] : {std::pair(0, 0), std::pair(1, 0), std::pair(1, 1), std::pair(0, 1)})
		{
			Eigen::Vector3d pixel;
			pixel[m_axis] = index();
			pixel[u] = a ? dims[u] - 0.5 : -0.5;
			pixel[v] = b ? dims[v] - 0.5 : -0.5;
			corners.push_back((toWorld * pixel.homogeneous()).head<3>());
		}
		if (!m_quad)
			m_quad = std::make_unique<GL::VertexBuffer>();
		m_quad->upload(corners, {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, {});
		auto& pipeline = GL::FixedFunctionPipeline::instance();
		pipeline.enable(viewState, 1);
		pipeline.setTexture(&m_slice->texture());
		m_quad->bind();
		m_quad->draw(GL::VertexBuffer::TriangleFan);
		pipeline.setTexture(nullptr);
		pipeline.disable();
	}
}
