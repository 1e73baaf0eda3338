#version 120
// Deferred shading, geometry pass: fills the three colour attachments of the
// framebuffer object with albedo, normal (packed to 0..1) and eye-space position.
uniform sampler2D diffuseMap;
varying vec3 position;
varying vec3 normal;

void main() {
    gl_FragData[0] = texture2D(diffuseMap, gl_TexCoord[0].st) * gl_Color;
    gl_FragData[1] = vec4(normalize(normal) * 0.5 + vec3(0.5), 1.0);
    gl_FragData[2] = vec4(position, 1.0);
}
