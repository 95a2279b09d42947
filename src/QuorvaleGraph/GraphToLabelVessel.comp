#version 430
// Rasterises the edges of a graph into a label texture: one invocation per edge stores 0 into
// every voxel that the edge labels and leaves every other voxel as it is.
//
// The voxels are exactly those of the CPU rasterisation: every float operation of the distance
// test is written out in the same order as there and marked precise, so that no multiply-add is
// fused. Node positions arrive in graph coordinates; u_graphToPixelMatrix maps them to pixel
// coordinates of the label texture, to which 0.5 is added (voxel v spans [v, v + 1)).
//
// Without CYLINDER_MODE an edge labels a capsule (distance to the segment at most its radius);
// with it a cylinder cut into samples, each reaching 2.5 scaled units along the axis.
//
// Work groups may be laid out in two dimensions (x·y groups of 32 edges) when there are more
// groups than one dimension holds.
//
// Passes: some drivers (Mesa's llvmpipe) end an invocation after 65,535 loop iterations. So an
// edge's voxel tests (samples × box) are numbered, and each pass (dispatch) makes at most 32,768
// of them per edge, from test number u_workOffset on; the caller dispatches until every edge's
// tests are done.

layout(local_size_x = 32) in;

layout(std430, binding = 0) readonly buffer NodeBuffer { vec4 nodes[]; };
layout(std430, binding = 1) readonly buffer EdgeBuffer { ivec2 edges[]; };
layout(std430, binding = 2) readonly buffer RadiusBuffer { float radii[]; };

layout(r32ui) writeonly uniform uimage3D u_outputTexture;
uniform dmat4 u_graphToPixelMatrix;
uniform ivec3 u_outputDims;
uniform int u_numEdges;
uniform vec3 u_metric;
uniform uint u_workOffset;
#ifdef CYLINDER_MODE
uniform float u_minSpacing;
#endif

// The metric product: (mx·(ux·vx) + my·(uy·vy)) + mz·(uz·vz).
float metricDot(vec3 u, vec3 v)
{
	precise float x = u_metric.x * (u.x * v.x);
	precise float y = u_metric.y * (u.y * v.y);
	precise float z = u_metric.z * (u.z * v.z);
	precise float sum = (x + y) + z;
	return sum;
}

// M·(x, y, z, 1) summed column by column, plus 0.5.
vec3 toVoxel(mat4 m, vec4 node)
{
	precise vec3 p;
	for (int row = 0; row < 3; ++row)
	{
		precise float a = m[0][row] * node.x;
		precise float b = m[1][row] * node.y;
		precise float c = m[2][row] * node.z;
		precise float sum = ((a + b) + c) + m[3][row];
		p[row] = sum + 0.5;
	}
	return p;
}

// The first and last voxel index of [value - extent, value + extent] on an axis of size voxels.
ivec2 boxRange(float value, float extent, int size)
{
	float lo = clamp(floor(value - extent), 0.0, float(size - 1));
	float hi = clamp(ceil(value + extent), -1.0, float(size - 1));
	return ivec2(int(lo), int(hi));
}

void main()
{
	uint edge = (gl_WorkGroupID.y * gl_NumWorkGroups.x + gl_WorkGroupID.x) * 32u + gl_LocalInvocationID.x;
	if (edge >= uint(u_numEdges))
		return;

	mat4 m = mat4(u_graphToPixelMatrix);
	ivec2 ends = edges[edge];
	precise vec3 p0 = toVoxel(m, nodes[ends.x]);
	precise vec3 p1 = toVoxel(m, nodes[ends.y]);
	precise vec3 a = p1 - p0;
	precise float length2 = metricDot(a, a);
	if (!(length2 >= 1e-6))
		return;
	float r = radii[edge];
	precise float r2 = r * r;
	precise float len = sqrt(length2);
	precise vec3 direction = vec3(a.x / len, a.y / len, a.z / len);
	precise float invLength2 = 1.0 / length2;

#ifdef CYLINDER_MODE
	precise float sampleStep = u_minSpacing * 0.5;
	precise float perStep = len / sampleStep;
	int n = max(1, int(ceil(perStep)));
#else
	precise float quotient = len / r;
	float count = 1.0;
	if (!isinf(quotient) && !isnan(quotient) && quotient < 2147483648.0)
		count = max(1.0, floor(quotient));
	int n = int(min(count + 2.0, ceil(len) + 2.0));
#endif
	float fn = float(n);
	precise vec3 stepVector = vec3(a.x / fn, a.y / fn, a.z / fn);
	// How far from a sample centre a voxel that the test accepts can lie along each axis, in scaled
	// units (s: the unit axis in scaled coordinates), plus one for the rounding; then in voxels.
	vec3 root = sqrt(u_metric);
	vec3 along = min(abs(root * direction), vec3(1.0));
#ifdef CYLINDER_MODE
	vec3 reach = 2.5 * along + r * sqrt(vec3(1.0) - along * along);
#else
	vec3 reach = r + along * (0.5 * (len / float(n)));
#endif
	// The box of a sample: at most 2·extent + 2 voxels along each axis, clipped to the grid.
	vec3 extent = ceil(min((reach + 1.0) / root, vec3(u_outputDims)));
	uvec3 boxSize = uvec3(min(2.0 * extent + 2.0, vec3(u_outputDims)));
	uint perSample = boxSize.x * boxSize.y * boxSize.z;
	uint tests = uint(n) * perSample;

	for (uint i = 0u; i < 32768u; ++i)
	{
		uint index = u_workOffset + i;
		if (index >= tests)
			break;
		uint k = index / perSample;
		uint rest = index - k * perSample;
		uint zOffset = rest / (boxSize.x * boxSize.y);
		rest -= zOffset * boxSize.x * boxSize.y;
		uint yOffset = rest / boxSize.x;
		uint xOffset = rest - yOffset * boxSize.x;

		precise float t = float(k) + 0.5;
		precise vec3 c = vec3(p0.x + t * stepVector.x, p0.y + t * stepVector.y, p0.z + t * stepVector.z);
		ivec2 xs = boxRange(c.x, extent.x, u_outputDims.x);
		ivec2 ys = boxRange(c.y, extent.y, u_outputDims.y);
		ivec2 zs = boxRange(c.z, extent.z, u_outputDims.z);
		int x = xs.x + int(xOffset);
		int y = ys.x + int(yOffset);
		int z = zs.x + int(zOffset);
		if (x > xs.y || y > ys.y || z > zs.y)
			continue;

		precise vec3 q = vec3(float(x) + 0.5, float(y) + 0.5, float(z) + 0.5);
		precise float d2;
#ifdef CYLINDER_MODE
		precise vec3 w = q - c;
		precise float along = metricDot(direction, w);
		if (along * along > 6.25)
			continue;
		precise vec3 v = vec3(w.x - along * direction.x, w.y - along * direction.y, w.z - along * direction.z);
		d2 = metricDot(v, v);
#else
		precise vec3 w = q - p0;
		precise float s = metricDot(w, a) * invLength2;
		if (s <= 0.0)
			d2 = metricDot(w, w);
		else if (s >= 1.0)
		{
			precise vec3 v = w - a;
			d2 = metricDot(v, v);
		}
		else
		{
			precise vec3 v = vec3(w.x - s * a.x, w.y - s * a.y, w.z - s * a.z);
			d2 = metricDot(v, v);
		}
#endif
		if (d2 <= r2)
			imageStore(u_outputTexture, ivec3(x, y, z), uvec4(0u));
	}
}
