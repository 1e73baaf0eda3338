#version 120
// Billboards: the four vertices of a particle arrive at the same position; each is
// moved within the camera plane (world-space "right" and "up") by its texture
// coordinate, so the quad becomes a camera-facing square of edge "size".
uniform vec3 right;
uniform vec3 up;
uniform float size;

void main() {
    vec2 corner = gl_MultiTexCoord0.st - vec2(0.5);
    vec3 position = gl_Vertex.xyz / gl_Vertex.w + (right * corner.x + up * corner.y) * size;
    gl_Position = gl_ModelViewProjectionMatrix * vec4(position, 1.0);
    gl_TexCoord[0] = gl_MultiTexCoord0;
    gl_FrontColor = gl_Color;
    gl_BackColor = gl_Color;
}
