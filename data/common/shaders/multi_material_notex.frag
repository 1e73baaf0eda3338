#version 120
// The OpenGL material (ambient, diffuse, specular, emission) lit by four lights.
varying vec3 position;
varying vec3 normal;
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
    vec3 n = normalize(normal);
    vec3 v = normalize(-position);  // local viewer
    vec4 base = gl_FrontMaterial.diffuse;
    vec3 ambientColour = gl_FrontMaterial.ambient.rgb;
    vec3 colour = gl_LightModel.ambient.rgb * ambientColour;
    colour += gl_FrontMaterial.emission.rgb;
    vec3 highlights = vec3(0.0);
    vec3 specularColour = gl_FrontMaterial.specular.rgb;
    float shininess = max(gl_FrontMaterial.shininess, 1.0);
    for (int i = 0; i < LIGHTS; ++i) {
        float attenuation;
        vec3 l = lightDirection(i, position, attenuation);
        float lambert = max(dot(n, l), 0.0);
        colour += (gl_LightSource[i].ambient.rgb * ambientColour +
                   gl_LightSource[i].diffuse.rgb * base.rgb * lambert) * attenuation;
        if (lambert > 0.0) {
            float highlight = pow(max(dot(n, normalize(l + v)), 0.0), shininess);
            highlights += gl_LightSource[i].specular.rgb * highlight * attenuation;
        }
    }
    colour += highlights * specularColour;  // separate specular: after texturing
    gl_FragColor = vec4(colour, base.a);
}
