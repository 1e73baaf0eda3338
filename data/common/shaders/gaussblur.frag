#version 120
// One direction of a separable Gaussian blur, 9 taps (sigma about 2 taps).
uniform sampler2D image;
uniform vec2 direction;  // step between taps in texture coordinates; unset means (1/512, 0)

void main() {
    vec2 stride = dot(direction, direction) > 0.0 ? direction : vec2(1.0 / 512.0, 0.0);
    vec2 uv = gl_TexCoord[0].st;
    vec4 sum = texture2D(image, uv) * 0.2270270270;
    sum += (texture2D(image, uv + stride) + texture2D(image, uv - stride)) * 0.1945945946;
    sum += (texture2D(image, uv + 2.0 * stride) + texture2D(image, uv - 2.0 * stride)) * 0.1216216216;
    sum += (texture2D(image, uv + 3.0 * stride) + texture2D(image, uv - 3.0 * stride)) * 0.0540540541;
    sum += (texture2D(image, uv + 4.0 * stride) + texture2D(image, uv - 4.0 * stride)) * 0.0162162162;
    gl_FragColor = sum * gl_Color;
}
