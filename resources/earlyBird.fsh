// Early morning: lifted, creamy shadows, a golden cast and softly darkened corners.
precision mediump float;

varying highp vec2 textureCoordinate;
uniform sampler2D inputImageTexture;

void main()
{
    vec3 colour = texture2D(inputImageTexture, textureCoordinate).rgb;
    colour = vec3(0.10, 0.07, 0.03) + colour * vec3(0.92, 0.85, 0.70);
    float grey = dot(colour, vec3(0.2125, 0.7154, 0.0721));
    colour = mix(vec3(grey), colour, 0.8);
    float d = distance(textureCoordinate, vec2(0.5));
    colour *= 1.0 - smoothstep(0.45, 0.8, d) * 0.35;
    gl_FragColor = vec4(colour, 1.0);
}
