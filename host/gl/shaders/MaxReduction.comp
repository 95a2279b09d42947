#version 430
// The best value of each channel along each image row, and the first x where it occurs.
// Defines: SAMPLER (sampler3D, isampler3D, usampler3D), VALUE (float, int, uint) and VALUE4 (its
// vec4), CHANNELS (1-4), LESS_IS_BETTER (0: the largest value is best, 1: the smallest), IS_FLOAT.
// A float value counts only when it is a number and not the worst infinity, as in the CPU loop,
// whose running value starts at the lowest finite double and is replaced only by a better value.
layout(local_size_x = 64) in;

uniform SAMPLER image;
uniform ivec3 size;

// One entry per row and channel: the best value's bits and its x (-1 when no value counts).
layout(std430, binding = 0) writeonly buffer Partials
{
	uvec2 partials[];
};

uint toBits(float v) { return floatBitsToUint(v); }
uint toBits(int v) { return uint(v); }
uint toBits(uint v) { return v; }

bool counts(VALUE v)
{
#if IS_FLOAT
#if LESS_IS_BETTER
	return v <= 3.402823466e38;
#else
	return v >= -3.402823466e38;
#endif
#else
	return true;
#endif
}

bool better(VALUE v, VALUE best)
{
#if LESS_IS_BETTER
	return v < best;
#else
	return v > best;
#endif
}

void main()
{
	const uint row = gl_GlobalInvocationID.y * gl_NumWorkGroups.x * gl_WorkGroupSize.x + gl_GlobalInvocationID.x;
	if (row >= uint(size.y * size.z))
		return;
	const int y = int(row) % size.y;
	const int z = int(row) / size.y;
	VALUE best[CHANNELS];
	int bestX[CHANNELS];
	for (int c = 0; c < CHANNELS; ++c)
	{
		best[c] = VALUE(0);
		bestX[c] = -1;
	}
	for (int x = 0; x < size.x; ++x)
	{
		const VALUE4 texel = texelFetch(image, ivec3(x, y, z), 0);
		for (int c = 0; c < CHANNELS; ++c)
		{
			const VALUE v = texel[c];
			if (counts(v) && (bestX[c] < 0 || better(v, best[c])))
			{
				best[c] = v;
				bestX[c] = x;
			}
		}
	}
	for (int c = 0; c < CHANNELS; ++c)
		partials[row * CHANNELS + uint(c)] = uvec2(toBits(best[c]), uint(bestX[c]));
}
