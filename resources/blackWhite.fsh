// Black and white with a little more punch in the mid-tones than plain luminance.
precision mediump float;

varying highp vec2 textureCoordinate;
uniform sampler2D inputImageTexture;

const vec3 luminanceWeights = vec3(0.2125, 0.7154, 0.0721);

void main()
{
    vec4 colour = texture2D(inputImageTexture, textureCoordinate);
    float grey = dot(colour.rgb, luminanceWeights);
    grey = clamp((grey - 0.5) * 1.2 + 0.5, 0.0, 1.0);
    gl_FragColor = vec4(vec3(grey), 1.0);
}
