#version 120
// A glowing point: the particle texture (unit 0; RGB the light, alpha its strength)
// tinted by the particle's colour and scaled by the depth cue "glow". The colour's
// saturation is doubled about its brightest channel (each channel moves twice as far
// below the peak, floored at 0), so the nearly grey star tints read as colours. Where the
// texture is near full strength (the core) the tint whitens towards the colour's own
// brightest channel, a hot centre inside a coloured halo. The output alpha is the
// particle's alpha alone, so under (GL_SRC_ALPHA, GL_ONE) it fades the light once
// (the texture's alpha is not multiplied in a second time); (GL_ONE, GL_ONE) ignores it.
uniform sampler2D particle;
varying float glow;

void main() {
    vec4 texel = texture2D(particle, gl_TexCoord[0].st);
    float peak = max(gl_Color.r, max(gl_Color.g, gl_Color.b));
    vec3 colour = max(vec3(peak) - (vec3(peak) - gl_Color.rgb) * 2.0, 0.0);
    float core = texel.a * texel.a;
    vec3 tint = mix(colour, vec3(peak), 0.6 * core * core);
    gl_FragColor = vec4(texel.rgb * tint * glow, gl_Color.a);
}
