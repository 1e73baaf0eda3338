#version 120
// The particle texture (unit 0) tinted by the particle's colour and alpha.
uniform sampler2D particle;

void main() {
    gl_FragColor = texture2D(particle, gl_TexCoord[0].st) * gl_Color;
}
