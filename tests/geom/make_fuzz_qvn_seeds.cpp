// Writes the seed scenes of the importer's fuzz corpus: small textures, every
// section and flag used at least once.
#include <cstdio>
#include <string>

#include "qvn_TestScene.h"

using namespace qvntest;

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_fuzz_qvn_seeds DIR\n");
        return 2;
    }
    const std::string dir = argv[1];
    auto small = [](Scene s) {
        for (Material& m : s.materials)
            for (Texture& t : m.tex) t = GradientTexture(8, 4);
        return s;
    };
    bool ok = true;
    ok &= WriteFile(dir + "/basic.qvn", small(BasicScene(1, 2)).Build(), false);

    Scene fog = small(BasicScene(1, 2));
    fog.fog = true;
    fog.cameras[0].farDistance = 20.0f;
    ok &= WriteFile(dir + "/fog.qvn", fog.Build(), false);

    Scene env = small(BasicScene(1 | 2 | 4 | 8, 2));
    Material add;
    add.type = 0;
    add.flags = 1;
    env.materials.push_back(add);
    env.materials = {small(env).materials[0], small(env).materials[1]};
    env.meshes[0].faces[1].material = 1;
    ok &= WriteFile(dir + "/materials.qvn", env.Build(), false);

    Scene anim = small(BasicScene(2, 2));
    Track t;
    t.isStatic = false;
    t.keys.clear();
    for (int k = 0; k < 5; ++k) t.keys.push_back(Key{0, static_cast<float>(k) * -3.0f, 0, k * 0.5f, 0, 0, 1});
    anim.objects[2].tracks.push_back(t);
    anim.objects[0].ranges = {{0, 20, 1.0f}, {20, 40, 0.0f}};
    Object child = StaticObject("child", 2, 0, 1);
    child.parent = 2;
    anim.objects.push_back(child);
    anim.objects.push_back(StaticObject("eye2", 30, 0, 0));
    anim.objects.back().ranges = {{0, 20, 0.0f}, {20, 40, 1.0f}};
    Camera second;
    second.eye = 4;
    second.target = 3;
    second.rolls = {0.1f, 0.2f};
    second.fovs = {1.0f, 1.2f, 1.4f};
    anim.cameras.push_back(second);
    anim.meshes.push_back(Square(3, 2.0f, 1.0f, 0));
    ok &= WriteFile(dir + "/animated.qvn", anim.Build(), false);
    return ok ? 0 : 1;
}
