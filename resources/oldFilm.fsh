// Old film: faded sepia, darker corners and fine vertical scratches that do not move.
precision mediump float;

varying highp vec2 textureCoordinate;
uniform sampler2D inputImageTexture;

void main()
{
    vec4 colour = texture2D(inputImageTexture, textureCoordinate);
    vec3 sepia = vec3(dot(colour.rgb, vec3(0.393, 0.769, 0.189)),
                      dot(colour.rgb, vec3(0.349, 0.686, 0.168)),
                      dot(colour.rgb, vec3(0.272, 0.534, 0.131)));
    sepia = mix(vec3(0.12, 0.10, 0.08), min(sepia, vec3(1.0)), 0.85);
    float d = distance(textureCoordinate, vec2(0.5));
    float vignette = 1.0 - smoothstep(0.35, 0.75, d) * 0.6;
    float scratch = step(0.995, fract(sin(floor(textureCoordinate.x * 160.0) * 12.9898) * 43758.5453));
    gl_FragColor = vec4(sepia * vignette + vec3(scratch * 0.25), 1.0);
}
