// The sharp and crt looks: a quad over the frame's rectangle on the screen.
// Shared by the GL presenters and the web page; the caller puts the
// #version line (and precision) in front.
uniform vec4 uRect;  // x, y, w, h on the screen, rows from the top
uniform vec2 uOut;   // the screen's size
void main() {
    vec2 corner = vec2(float(gl_VertexID & 1), float(gl_VertexID >> 1));
    vec2 at = uRect.xy + corner * uRect.zw;
    gl_Position = vec4(at.x / uOut.x * 2.0 - 1.0, 1.0 - at.y / uOut.y * 2.0, 0.0, 1.0);
}
