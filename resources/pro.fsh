// Pro: stronger contrast and colour, warm highlights and cool shadows.
precision mediump float;

varying highp vec2 textureCoordinate;
uniform sampler2D inputImageTexture;

void main()
{
    vec3 colour = texture2D(inputImageTexture, textureCoordinate).rgb;
    float grey = dot(colour, vec3(0.2125, 0.7154, 0.0721));
    colour = mix(vec3(grey), colour, 1.35);
    colour = (colour - 0.5) * 1.25 + 0.5;
    colour += mix(vec3(-0.03, 0.0, 0.04), vec3(0.05, 0.02, -0.04), smoothstep(0.2, 0.8, grey));
    gl_FragColor = vec4(clamp(colour, 0.0, 1.0), 1.0);
}
