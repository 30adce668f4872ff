// Neon edges: the picture's own colours where it changes, black where it is flat.
precision mediump float;

varying highp vec2 textureCoordinate;
uniform sampler2D inputImageTexture;

// About one pixel of the 480 x 640 recording frame.
const highp vec2 stepSize = vec2(1.0 / 480.0, 1.0 / 640.0);

void main()
{
    vec3 centre = texture2D(inputImageTexture, textureCoordinate).rgb;
    vec3 left = texture2D(inputImageTexture, textureCoordinate - vec2(stepSize.x, 0.0)).rgb;
    vec3 right = texture2D(inputImageTexture, textureCoordinate + vec2(stepSize.x, 0.0)).rgb;
    vec3 down = texture2D(inputImageTexture, textureCoordinate - vec2(0.0, stepSize.y)).rgb;
    vec3 up = texture2D(inputImageTexture, textureCoordinate + vec2(0.0, stepSize.y)).rgb;
    vec3 change = abs(right - left) + abs(up - down);
    float edge = clamp(dot(change, vec3(1.0)) * 1.5, 0.0, 1.0);
    gl_FragColor = vec4(centre * edge * 1.6, 1.0);
}
