// The few vector and matrix helpers the renderer layer needs: 4×4 column-major float matrices,
// the orthographic projection, inversion and frustum planes.
#pragma once

struct RvVector2 {
    float x = 0, y = 0;
};

struct RvVector3 {
    float x = 0, y = 0, z = 0;
};

struct RvVector4 {
    float x = 0, y = 0, z = 0, w = 0;
};

// Column-major: m[12], m[13], m[14] hold the translation.
struct RvMatrix4 {
    float m[16];
};

RvMatrix4 RvMatrix4Identity();
RvMatrix4 RvMatrix4Multiply(const RvMatrix4& a, const RvMatrix4& b);  // a × b
// False (and the identity in *out) when the matrix is singular.
bool RvMatrix4Invert(const RvMatrix4& matrix, RvMatrix4* out);
RvVector4 RvMatrix4Transform(const RvMatrix4& matrix, RvVector4 v);
// Orthographic projection. z is scaled by +2 ÷ (f − n), as the engine's cameras and UI expect.
RvMatrix4 RvMatrix4Ortho(float left, float right, float bottom, float top, float nearZ, float farZ);
// Planes (a, b, c, d) with a·x + b·y + c·z + d ≥ 0 inside, normalised on (a, b, c), in the order
// left, right, bottom, top, near, far.
void RvMatrix4FrustumPlanes(const RvMatrix4& viewProjection, RvVector4 planes[6]);
