#version 120
// Textured, normal-mapped diffuse lighting from light 0.
uniform sampler2D diffuseMap;
uniform sampler2D normalMap;
varying vec3 position;
varying vec3 normal;
varying vec3 tangent;
varying float handedness;
const int LIGHTS = 1;

// Unit vector from the surface point p (eye space) towards light i, with the light's
// distance and spot attenuation in attenuation.
vec3 lightDirection(int i, vec3 p, out float attenuation) {
    vec4 lp = gl_LightSource[i].position;
    if (lp.w == 0.0) {
        attenuation = 1.0;
        return normalize(lp.xyz);
    }
    vec3 d = lp.xyz / lp.w - p;
    float dist = length(d);
    vec3 dir = d / max(dist, 0.0001);
    attenuation = 1.0 / max(gl_LightSource[i].constantAttenuation +
                            gl_LightSource[i].linearAttenuation * dist +
                            gl_LightSource[i].quadraticAttenuation * dist * dist, 0.0001);
    if (gl_LightSource[i].spotCutoff <= 90.0) {
        float cosAngle = dot(-dir, normalize(gl_LightSource[i].spotDirection));
        attenuation *= cosAngle >= gl_LightSource[i].spotCosCutoff
                           ? pow(max(cosAngle, 0.0001), gl_LightSource[i].spotExponent)
                           : 0.0;
    }
    return dir;
}

// The normal-map normal in eye space. tangent may be missing (zero) or not quite
// orthogonal to the normal: an orthonormal frame is rebuilt around the normal.
vec3 bumpedNormal(vec3 n, vec3 t, float handedness, vec3 mapped) {
    t = t - n * dot(n, t);
    if (dot(t, t) < 0.00000001) t = abs(n.x) < 0.9 ? cross(n, vec3(1.0, 0.0, 0.0))
                                                   : cross(n, vec3(0.0, 1.0, 0.0));
    t = normalize(t);
    vec3 b = cross(n, t) * handedness;
    return normalize(t * mapped.x + b * mapped.y + n * mapped.z);
}

void main() {
    vec3 n = normalize(normal);
    vec3 mapped = texture2D(normalMap, gl_TexCoord[0].st).xyz * 2.0 - vec3(1.0);
    n = bumpedNormal(n, tangent, handedness, mapped);
    vec3 v = normalize(-position);  // local viewer
    vec4 base = gl_Color;
    vec3 ambientColour = gl_Color.rgb;
    vec4 texel = texture2D(diffuseMap, gl_TexCoord[0].st);
    base *= texel;
    ambientColour *= texel.rgb;
    vec3 colour = gl_LightModel.ambient.rgb * ambientColour;
    for (int i = 0; i < LIGHTS; ++i) {
        float attenuation;
        vec3 l = lightDirection(i, position, attenuation);
        float lambert = max(dot(n, l), 0.0);
        colour += (gl_LightSource[i].ambient.rgb * ambientColour +
                   gl_LightSource[i].diffuse.rgb * base.rgb * lambert) * attenuation;
    }
    gl_FragColor = vec4(colour, base.a);
}
