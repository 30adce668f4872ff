// Radial zoom: sharp in the middle, streaks towards the edges along lines from the centre.
precision mediump float;

varying highp vec2 textureCoordinate;
uniform sampler2D inputImageTexture;

void main()
{
    highp vec2 toCentre = vec2(0.5) - textureCoordinate;
    float strength = smoothstep(0.1, 0.6, length(toCentre)) * 0.12;
    vec4 sum = vec4(0.0);
    for (int i = 0; i < 8; i++) {
        float t = float(i) / 7.0;
        sum += texture2D(inputImageTexture, textureCoordinate + toCentre * strength * t);
    }
    gl_FragColor = vec4(sum.rgb / 8.0, 1.0);
}
