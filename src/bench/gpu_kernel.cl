// The GPU benchmark's workload: 96 single-precision sines per element.
// The bound matters for the last work-group, which reaches past the buffer
// when the group width does not divide the element count.
#define DEPOTRIUM_ELEMENTS 262144u

__kernel void depotrium(__global float* out, const uint salt) {
    const uint i = (uint)get_global_id(0);
    if (i >= DEPOTRIUM_ELEMENTS) return;
    float x = (float)((i + salt) % 1024u) * 0.0009765625f;
    for (uint j = 0; j < 96u; ++j) {
        x = sin(x * 1.001f + (float)j * 0.001f) + 0.2f;
    }
    out[i] = x;
}
