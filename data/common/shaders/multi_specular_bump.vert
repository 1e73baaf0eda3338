#version 120
// Bump-mapped specular lighting, several lights.
// The tangent comes in texture coordinate 1: xyz the direction of increasing s,
// w the handedness of the frame (negative for mirrored texture mapping).
varying vec3 position;
varying vec3 normal;
varying vec3 tangent;
varying float handedness;

void main() {
    position = vec3(gl_ModelViewMatrix * gl_Vertex);
    normal = gl_NormalMatrix * gl_Normal;
    tangent = gl_NormalMatrix * gl_MultiTexCoord1.xyz;
    handedness = gl_MultiTexCoord1.w < 0.0 ? -1.0 : 1.0;
    gl_TexCoord[0] = gl_MultiTexCoord0;
    gl_FrontColor = gl_Color;
    gl_BackColor = gl_Color;
    gl_Position = ftransform();
}
