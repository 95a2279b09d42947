#include "host/gl/FixedFunctionPipeline.h"

#include "host/gl/ContextGuard.h"
#include "host/gl/GlError.h"
#include "host/gl/Texture.h"

#include <Eigen/LU>

#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <cmath>

namespace Quorvale::GL
{
	namespace
	{
		const char* VertexSource = R"(#version 330 core
layout(location = 0) in vec3 position;
layout(location = 1) in vec3 second;
layout(location = 2) in vec4 color;
uniform mat4 modelViewProjection;
uniform mat3 normalMatrix;
uniform mat4 model;
uniform vec4 clipPlane;
uniform float pointSize;
out vec4 vertexColor;
out vec2 textureCoordinate;
out vec3 eyeNormal;
void main()
{
	gl_Position = modelViewProjection * vec4(position, 1.0);
	gl_ClipDistance[0] = dot(clipPlane, model * vec4(position, 1.0));
	gl_PointSize = pointSize;
	vertexColor = color;
	textureCoordinate = second.xy;
	eyeNormal = normalMatrix * second;
}
)";

		const char* FragmentSource = R"(#version 330 core
in vec4 vertexColor;
in vec2 textureCoordinate;
in vec3 eyeNormal;
uniform int lit;
uniform int roundPoints;
uniform float edgeScale; // half the point size: the soft edge is one pixel wide
uniform int textured;
uniform sampler2D image;
out vec4 fragmentColor;
void main()
{
	vec4 c = textured == 1 ? texture(image, textureCoordinate) : vertexColor;
	if (lit == 1)
	{
		// A light at the viewer, shining along the view axis onto either side of a surface.
		float n = length(eyeNormal);
		float diffuse = n > 0.0 ? abs(eyeNormal.z) / n : 1.0;
		c.rgb *= 0.3 + 0.7 * diffuse;
	}
	if (roundPoints == 1)
	{
		vec2 d = gl_PointCoord * 2.0 - 1.0;
		float r = length(d);
		if (r > 1.0)
			discard;
		c.a *= clamp((1.0 - r) * edgeScale, 0.0, 1.0);
	}
	fragmentColor = c;
}
)";
	}

	FixedFunctionPipeline& FixedFunctionPipeline::instance()
	{
		// Never destroyed: its program must not outlive the context's own statics at exit.
		static auto* pipeline = new FixedFunctionPipeline();
		return *pipeline;
	}

	FixedFunctionPipeline::FixedFunctionPipeline()
	    : m_program(Program::createRender(VertexSource, FragmentSource, "fixed-function pipeline"))
	{
	}

	void FixedFunctionPipeline::enable(const ViewState& viewState, int shader, const void*)
	{
		ContextGuard::requireActive("GL::FixedFunctionPipeline::enable");
		m_viewState = viewState;
		m_shader = shader;
		m_program.enable();
		glEnable(GL_PROGRAM_POINT_SIZE);
		const auto& v = viewState.viewport();
		glViewport(v[0], v[1], v[2], v[3]);
		setModelMatrix(Eigen::Matrix4d::Identity());
		setDefaultColor(Eigen::Vector4d::Ones());
		setPointSize(1.0);
		disablePointSmoothing();
		setLighting(false);
		m_program.setArgument("textured", 0);
		m_program.setArgument("image", 0);
		m_enabled = true;
		applyClipPlane();
	}

	void FixedFunctionPipeline::disable()
	{
		ContextGuard::requireActive("GL::FixedFunctionPipeline::disable");
		m_program.disable();
		// Programs that write no clip distance must not run with one enabled.
		glDisable(GL_CLIP_DISTANCE0);
		m_enabled = false;
	}

	void FixedFunctionPipeline::setModelMatrix(const Eigen::Matrix4d& model)
	{
		m_program.setArgument("modelViewProjection", Eigen::Matrix4d(m_viewState.viewProjection() * model));
		// Normals go to the eye by the inverse transpose of the model-view's linear part.
		const Eigen::Matrix3d linear = (m_viewState.viewMatrix() * model).topLeftCorner<3, 3>();
		const bool invertible = std::abs(linear.determinant()) > 1e-12;
		m_program.setArgument("normalMatrix", Eigen::Matrix3d(invertible ? linear.inverse().transpose() : linear));
		m_program.setArgument("model", model);
	}

	void FixedFunctionPipeline::setClipPlane(const Eigen::Vector4d& plane)
	{
		m_clipPlane = plane;
		if (m_enabled)
			applyClipPlane();
	}

	void FixedFunctionPipeline::applyClipPlane()
	{
		ContextGuard::requireActive("GL::FixedFunctionPipeline::setClipPlane");
		m_program.setArgument("clipPlane", m_clipPlane);
		if (m_clipPlane.isZero(0.0))
			glDisable(GL_CLIP_DISTANCE0);
		else
			glEnable(GL_CLIP_DISTANCE0);
	}

	void FixedFunctionPipeline::setLighting(bool on) { m_program.setArgument("lit", on ? 1 : 0); }

	void FixedFunctionPipeline::setDefaultColor(const Eigen::Vector4d& color)
	{
		ContextGuard::requireActive("GL::FixedFunctionPipeline::setDefaultColor");
		glVertexAttrib4f(2, static_cast<float>(color[0]), static_cast<float>(color[1]), static_cast<float>(color[2]),
		                 static_cast<float>(color[3]));
	}

	void FixedFunctionPipeline::setPointSize(double size)
	{
		m_program.setArgument("pointSize", static_cast<float>(std::max(size, 1.0)));
		m_program.setArgument("edgeScale", static_cast<float>(std::max(size, 1.0) / 2.0));
	}

	void FixedFunctionPipeline::enablePointSmoothing() { m_program.setArgument("roundPoints", 1); }

	void FixedFunctionPipeline::disablePointSmoothing() { m_program.setArgument("roundPoints", 0); }

	void FixedFunctionPipeline::setLineWidth(double width)
	{
		ContextGuard::requireActive("GL::FixedFunctionPipeline::setLineWidth");
		glLineWidth(static_cast<float>(std::max(width, 1.0)));
	}

	void FixedFunctionPipeline::setTexture(const Texture* texture)
	{
		m_program.setArgument("textured", texture ? 1 : 0);
		if (texture)
			texture->bind(0);
	}
}
