#version 120
// Digital glitch: random horizontal bands slip sideways and split into their colour
// channels, changing eight times a beat.
uniform sampler2D image;
uniform float time;    // beats
uniform float amount;  // 0 clean .. 1 heavy

float hash(float n) {
    return fract(sin(n) * 43758.5453);
}

void main() {
    vec2 uv = gl_TexCoord[0].st;
    float band = floor(uv.y * 40.0);
    float tick = floor(time * 8.0);
    float slip = hash(band * 13.0 + tick * 1.7) > 0.8 ? hash(band + tick * 7.0) - 0.5 : 0.0;
    float shift = slip * 0.1 * amount;
    float split = 0.006 * amount;
    vec4 centre = texture2D(image, vec2(uv.x + shift, uv.y));
    float red = texture2D(image, vec2(uv.x + shift + split, uv.y)).r;
    float blue = texture2D(image, vec2(uv.x + shift - split, uv.y)).b;
    gl_FragColor = vec4(red, centre.g, blue, centre.a) * gl_Color;
}
