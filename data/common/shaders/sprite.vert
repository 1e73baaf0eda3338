#version 120
// Point sprites: the fast path's twin of billboard.vert. A particle is one point whose
// size in pixels is the projected edge of billboard.vert's square (2 x "size", the glow's
// radius in world units, at the point's depth), with the same depth cue "glow"; the
// point's own coordinate stands in for the square's texture coordinate, so
// billboard.frag colours both alike. A change to billboard.vert belongs here too.
uniform float size;
varying float glow;
uniform float viewportHeight;  // pixels
// Moves the point so that it covers what the square covers: measured once per sample
// count against a quad (some rasterisers place multisampled points half a pixel off).
uniform vec2 pointShift;  // clip units at w = 1

void main() {
    gl_Position = gl_ModelViewProjectionMatrix * gl_Vertex;
    gl_Position.xy += pointShift * gl_Position.w;
    gl_PointSize = 2.0 * size * gl_ProjectionMatrix[1][1] * 0.5 * viewportHeight / gl_Position.w;
    float distance = length((gl_ModelViewMatrix * gl_Vertex).xyz);
    glow = clamp(1.4 - distance / 110.0, 0.5, 1.25);
    gl_TexCoord[0] = vec4(0.0, 0.0, 0.0, 1.0);  // replaced by the point coordinate
    gl_FrontColor = gl_Color;
    gl_BackColor = gl_Color;
}
