#version 120
// Billboards: the four vertices of a particle arrive at the same position; each is
// moved within the camera plane (world-space "right" and "up") by its texture
// coordinate, so the quad becomes a camera-facing square. "size" is the radius of the
// glow in world units: the square reaches from -size to +size, an edge of 2 x size.
// Depth cue: "glow" brightens near particles and dims far ones, by their distance d
// from the eye in world units: glow = clamp(1.4 - d / 110, 0.5, 1.25).
uniform vec3 right;
uniform vec3 up;
uniform float size;
varying float glow;

void main() {
    vec3 centre = gl_Vertex.xyz / gl_Vertex.w;
    vec2 corner = gl_MultiTexCoord0.st * 2.0 - vec2(1.0);
    vec3 position = centre + (right * corner.x + up * corner.y) * size;
    gl_Position = gl_ModelViewProjectionMatrix * vec4(position, 1.0);
    float distance = length((gl_ModelViewMatrix * vec4(centre, 1.0)).xyz);
    glow = clamp(1.4 - distance / 110.0, 0.5, 1.25);
    gl_TexCoord[0] = gl_MultiTexCoord0;
    gl_FrontColor = gl_Color;
    gl_BackColor = gl_Color;
}
