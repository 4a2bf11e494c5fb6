// The sharp and crt looks, pixel by pixel: each fragment works out its frame
// coordinates and texels as qvn_FilterPicture does (the same steps, so the
// same picture to a rounding). uFrame is the 5-6-5 frame, row 0 on top.
uniform sampler2D uFrame;
uniform ivec2 uFrameSize;
uniform vec4 uRect;
uniform vec2 uOut;
uniform ivec2 uPrescale;
uniform int uKind;   // 1 sharp, 2 crt
uniform vec3 uCrt;   // scanline depth, mask dim, gain
out vec4 oColor;

// A frame pixel as the PNG files have it: each channel widened by repeating
// its top bits.
vec3 Texel(int x, int y) {
    vec3 c = texelFetch(uFrame, ivec2(x, y), 0).rgb;
    ivec3 q = ivec3(floor(c * vec3(31.0, 63.0, 31.0) + 0.5));
    ivec3 wide = ivec3((q.r << 3) | (q.r >> 2), (q.g << 2) | (q.g >> 4), (q.b << 3) | (q.b >> 2));
    return vec3(wide) / 255.0;
}

vec3 Lerp(vec3 a, vec3 b, float t) { return a + (b - a) * t; }

// The pre-scaled picture's two neighbours along one axis, as frame pixels,
// and the weight of the second.
void Axis(float f, int k, int n, out int a, out int b, out float t) {
    float q = f * float(k) - 0.5;
    float j = floor(q);
    int ij = int(j);
    t = q - j;
    a = min(ij < 0 ? 0 : ij / k, n - 1);
    b = min((ij + 1) / k, n - 1);
}

void main() {
    float fx = (gl_FragCoord.x - uRect.x) * float(uFrameSize.x) / uRect.z;
    float fy = ((uOut.y - gl_FragCoord.y) - uRect.y) * float(uFrameSize.y) / uRect.w;
    int ax, bx, ay, by;
    float tx, ty;
    Axis(fx, uPrescale.x, uFrameSize.x, ax, bx, tx);
    vec3 c;
    if (uKind == 1) {
        Axis(fy, uPrescale.y, uFrameSize.y, ay, by, ty);
        c = Lerp(Lerp(Texel(ax, ay), Texel(bx, ay), tx), Lerp(Texel(ax, by), Texel(bx, by), tx), ty);
    } else {
        int line = min(int(floor(fy)), uFrameSize.y - 1);
        float d = fy - floor(fy);
        float scan = 1.0 - uCrt.x * max(0.0, 2.0 * d - 1.0);
        c = Lerp(Texel(ax, line), Texel(bx, line), tx);
        int column = int(gl_FragCoord.x - uRect.x) % 3;
        vec3 mask = vec3(column == 0 ? 1.0 : uCrt.y, column == 1 ? 1.0 : uCrt.y, column == 2 ? 1.0 : uCrt.y);
        c = c * (scan * uCrt.z) * mask;
    }
    oColor = vec4(clamp(c, 0.0, 1.0), 1.0);
}
