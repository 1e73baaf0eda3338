#version 120
// Deferred shading, lighting pass: a screen-filling quad over the geometry buffers.
void main() {
    gl_Position = ftransform();
    gl_TexCoord[0] = gl_MultiTexCoord0;
}
