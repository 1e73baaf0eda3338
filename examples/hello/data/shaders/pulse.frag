// A ring that flashes with the kick and a background that swells with the pad. The
// engine sets every uniform here: beat (beats), resolution (pixels) and one float per
// named modulator of data/hello/hello.xml ("kick glow" -> kick_glow).
uniform float beat;
uniform vec2 resolution;
uniform float kick_glow;
uniform float pad_swell;
varying vec2 position;

void main() {
    vec2 p = position * vec2(resolution.x / max(resolution.y, 1.0), 1.0);
    float r = length(p);
    float radius = 0.25 + 0.2 * kick_glow;
    float ring = smoothstep(0.06, 0.0, abs(r - radius)) * (0.35 + 0.65 * kick_glow);
    float hue = fract(beat / 32.0);
    vec3 base = 0.5 + 0.5 * cos(6.2831853 * (hue + vec3(0.0, 0.33, 0.67)));
    vec3 background = base * (0.08 + 0.3 * pad_swell) * (1.0 - 0.5 * r);
    gl_FragColor = vec4(background + ring * vec3(1.0, 0.85, 0.6), 1.0);
}
