#version 120
// Twister: the object is turned about its y axis by an angle that grows with height
// and with time; position, normal and tangent are turned alike. Feeds the
// multi_specular_bump fragment program.
uniform float twist;  // radians per unit of height
uniform float time;   // beats; the whole column turns 0.5 radians per beat
varying vec3 position;
varying vec3 normal;
varying vec3 tangent;
varying float handedness;

vec3 turn(vec3 v, float c, float s) {
    return vec3(c * v.x + s * v.z, v.y, -s * v.x + c * v.z);
}

void main() {
    float angle = gl_Vertex.y * twist + time * 0.5;
    float c = cos(angle);
    float s = sin(angle);
    vec4 vertex = vec4(turn(gl_Vertex.xyz, c, s), gl_Vertex.w);
    position = vec3(gl_ModelViewMatrix * vertex);
    normal = gl_NormalMatrix * turn(gl_Normal, c, s);
    tangent = gl_NormalMatrix * turn(gl_MultiTexCoord1.xyz, c, s);
    handedness = gl_MultiTexCoord1.w < 0.0 ? -1.0 : 1.0;
    gl_TexCoord[0] = gl_MultiTexCoord0;
    gl_FrontColor = gl_Color;
    gl_BackColor = gl_Color;
    gl_Position = gl_ModelViewProjectionMatrix * vertex;
}
