#include "host/gl/TextRenderer.h"

#include "host/gl/ContextGuard.h"
#include "host/gl/FixedFunctionPipeline.h"
#include "host/gl/DisplayTexture.h"
#include "host/gl/StateGuard.h"
#include "host/gl/VertexBuffer.h"

#include <Eigen/Geometry>

#include <GL/gl.h>
#include <GL/glext.h>

#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>

#include <cmath>

namespace Quorvale::GL
{
	namespace
	{
		constexpr size_t CacheLimit = 4096;

		QFont toQFont(const Font& font)
		{
			QFont f(QString::fromStdString(font.family));
			f.setPointSize(font.size);
			f.setBold(font.weight == 2);
			return f;
		}

		std::string cacheKey(const std::string& text, const Font& font, const Eigen::Vector4d& color)
		{
			return font.family + '\x1f' + std::to_string(font.size) + '\x1f' + std::to_string(font.weight) + '\x1f' +
			       std::to_string(color[0]) + ',' + std::to_string(color[1]) + ',' + std::to_string(color[2]) + ',' +
			       std::to_string(color[3]) + '\x1f' + text;
		}
	}

	TextRenderer& TextRenderer::instance()
	{
		// Never destroyed: its textures must not outlive the context's own statics at exit.
		static auto* renderer = new TextRenderer();
		return *renderer;
	}

	TextRenderer::TextRenderer() = default;
	TextRenderer::~TextRenderer() = default;

	Eigen::Vector2i TextRenderer::textSize(const std::string& text, const Font& font)
	{
		const QFontMetrics metrics(toQFont(font));
		return {std::max(1, metrics.horizontalAdvance(QString::fromStdString(text))), std::max(1, metrics.height())};
	}

	DisplayTexture& TextRenderer::rasterised(const std::string& text, const Font& font, const Eigen::Vector4d& color)
	{
		const std::string key = cacheKey(text, font, color);
		if (auto it = m_cache.find(key); it != m_cache.end())
			return *it->second;
		if (m_cache.size() >= CacheLimit)
			m_cache.clear();
		const Eigen::Vector2i size = textSize(text, font);
		QImage image(size.x(), size.y(), QImage::Format_RGBA8888);
		image.fill(Qt::transparent);
		{
			QPainter painter(&image);
			painter.setFont(toQFont(font));
			painter.setPen(QColor::fromRgbF(color[0], color[1], color[2], color[3]));
			painter.drawText(image.rect(), Qt::AlignLeft | Qt::AlignVCenter, QString::fromStdString(text));
		}
		// Textures start at the bottom row.
		image = image.mirrored();
		auto glImage = std::make_unique<DisplayTexture>(GL_UNSIGNED_BYTE, size.x(), size.y(), 1, 4, image.constBits());
		return *m_cache.emplace(key, std::move(glImage)).first->second;
	}

	void TextRenderer::renderTextWorld(const ViewState& viewState, const Eigen::Vector3d& world, const std::string& text, const Font& font,
	                                   int horizontalAlignment, int verticalAlignment, bool pixelAligned, const Eigen::Vector4d& color)
	{
		ContextGuard::requireActive("GL::TextRenderer::renderTextWorld");
		auto& pipeline = FixedFunctionPipeline::instance();
		// Text is clipped by its anchor: the quad below is drawn in window pixels, not in the world.
		const Eigen::Vector4d plane = pipeline.clipPlane();
		if (text.empty() || plane.dot(world.homogeneous()) < 0.0)
			return;
		Eigen::Vector3d anchor = viewState.project(world);
		if (!std::isfinite(anchor.x()) || !std::isfinite(anchor.y()) || anchor.z() < 0.0 || anchor.z() > 1.0)
			return;
		DisplayTexture& image = rasterised(text, font, color);
		const double w = image.width(), h = image.height();
		anchor.x() -= horizontalAlignment == 1 ? w / 2 : horizontalAlignment == 2 ? w : 0.0;
		anchor.y() -= verticalAlignment == 0 ? h : verticalAlignment == 1 ? h / 2 : 0.0;
		if (pixelAligned)
			anchor = Eigen::Vector3d(std::round(anchor.x()), std::round(anchor.y()), anchor.z());

		// Draw in window pixels.
		const auto& v = viewState.viewport();
		const ViewState pixels(Eigen::Matrix4d::Identity(), ViewState::ortho(v[0], v[0] + v[2], v[1], v[1] + v[3], -1.0, 1.0), v);
		static VertexBuffer* quad = new VertexBuffer(GL_STREAM_DRAW);
		quad->upload({{anchor.x(), anchor.y(), 0}, {anchor.x() + w, anchor.y(), 0}, {anchor.x() + w, anchor.y() + h, 0}, {anchor.x(), anchor.y() + h, 0}},
		             {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, {});
		StateGuard state(StateGuard::Capabilities | StateGuard::Bindings);
		glEnable(GL_BLEND);
		glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
		glDisable(GL_DEPTH_TEST);
		const ViewState previous = pipeline.viewState();
		const int previousShader = pipeline.shader();
		pipeline.setClipPlane(Eigen::Vector4d::Zero());
		pipeline.enable(pixels, 1);
		pipeline.setTexture(&image.texture());
		quad->bind();
		quad->draw(VertexBuffer::TriangleFan);
		pipeline.setTexture(nullptr);
		pipeline.setClipPlane(plane);
		pipeline.enable(previous, previousShader);
	}
}
