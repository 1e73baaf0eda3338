#version 120
// Blocking: the image sampled at the centre of each block, a coarse mosaic.
uniform sampler2D image;
uniform float blocks;  // blocks across the image; 0 (unset) means 64

void main() {
    float n = blocks > 0.0 ? blocks : 64.0;
    vec2 uv = (floor(gl_TexCoord[0].st * n) + vec2(0.5)) / n;
    gl_FragColor = texture2D(image, uv) * gl_Color;
}
