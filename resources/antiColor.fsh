// The negative: every colour turned to its opposite.
precision mediump float;

varying highp vec2 textureCoordinate;
uniform sampler2D inputImageTexture;

void main()
{
    vec4 colour = texture2D(inputImageTexture, textureCoordinate);
    gl_FragColor = vec4(vec3(1.0) - colour.rgb, 1.0);
}
