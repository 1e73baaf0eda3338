#version 120
// Deferred shading, lighting pass: lights every pixel of the geometry buffers with
// the first four OpenGL lights (diffuse and Blinn-Phong specular).
uniform sampler2D albedoBuffer;
uniform sampler2D normalBuffer;
uniform sampler2D positionBuffer;
const int LIGHTS = 4;

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

void main() {
    vec2 uv = gl_TexCoord[0].st;
    vec4 albedo = texture2D(albedoBuffer, uv);
    vec3 n = texture2D(normalBuffer, uv).xyz * 2.0 - vec3(1.0);
    n = dot(n, n) > 0.0 ? normalize(n) : vec3(0.0, 0.0, 1.0);
    vec3 p = texture2D(positionBuffer, uv).xyz;
    vec3 v = dot(p, p) > 0.0 ? normalize(-p) : vec3(0.0, 0.0, 1.0);
    vec3 diffuse = gl_LightModel.ambient.rgb;
    vec3 specular = vec3(0.0);
    for (int i = 0; i < LIGHTS; ++i) {
        float attenuation;
        vec3 l = lightDirection(i, p, attenuation);
        float lambert = max(dot(n, l), 0.0);
        diffuse += (gl_LightSource[i].ambient.rgb + gl_LightSource[i].diffuse.rgb * lambert) * attenuation;
        if (lambert > 0.0) {
            float highlight = pow(max(dot(n, normalize(l + v)), 0.0), 32.0);
            specular += gl_LightSource[i].specular.rgb * highlight * attenuation;
        }
    }
    gl_FragColor = vec4(albedo.rgb * diffuse + specular * albedo.a, 1.0);
}
