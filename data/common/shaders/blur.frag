#version 120
// Box blur over 3 x 3 samples.
uniform sampler2D image;
uniform float radius;  // sample spacing in texture coordinates; 0 (unset) means 1/512

void main() {
    float r = radius > 0.0 ? radius : 1.0 / 512.0;
    vec2 uv = gl_TexCoord[0].st;
    vec4 sum = vec4(0.0);
    for (int y = -1; y <= 1; ++y) {
        for (int x = -1; x <= 1; ++x) {
            sum += texture2D(image, uv + vec2(float(x), float(y)) * r);
        }
    }
    gl_FragColor = sum / 9.0 * gl_Color;
}
