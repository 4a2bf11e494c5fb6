#include "qvn_cImporter.h"

#include <zlib.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <new>
#include <vector>

#include "qvn_ErrorLog.h"
#include "qvn_cMaterial.h"
#include "qvn_cRenderer.h"
#include "qvn_cScene.h"
#include "qvn_DataPath.h"

namespace {

constexpr int kTitleBytes = 64;
constexpr int kNameBytes = 1024;
constexpr size_t kKeyBytes = 7 * 4;
constexpr size_t kFaceBytes = 7 * 4;
constexpr size_t kPaletteBytes = 768;

// Makes room for `more` further pointers in one of the scene's arrays (which
// the scene frees with free()), so a section of n records costs one
// allocation instead of n ever longer copies.
template <class T>
bool ReserveMore(T**& array, int32_t count, int32_t more) {
    if (more <= 0) return true;
    auto** grown = static_cast<T**>(std::realloc(array, sizeof(T*) * (static_cast<size_t>(count) + more)));
    if (!grown) return false;
    array = grown;
    return true;
}

// Appends to an array sized by ReserveMore; null when the element itself
// cannot be allocated (the scene then keeps the null slot, which it deletes
// harmlessly).
template <class T>
T* Append(T** array, int32_t& count, T* element) {
    array[count++] = element;
    return element;
}

}  // namespace

size_t qvn_cImporter::MaxInflatedBytes(uint64_t fileBytes) {
    const uint64_t limit = kInflateFloorBytes + kMaxInflateRatio * fileBytes;
    return limit < kMaxFileBytes ? static_cast<size_t>(limit) : kMaxFileBytes;
}

// ---- reading ---------------------------------------------------------------

int32_t qvn_cImporter::ReadInt() {
    uint8_t b[4] = {0, 0, 0, 0};
    ReadBlock(b, 4);
    return static_cast<int32_t>(static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8) |
                                (static_cast<uint32_t>(b[2]) << 16) | (static_cast<uint32_t>(b[3]) << 24));
}

float qvn_cImporter::ReadFloat() {
    const int32_t i = ReadInt();
    float f;
    std::memcpy(&f, &i, 4);
    return f;
}

bool qvn_cImporter::ReadBlock(void* out, size_t bytes) {
    if (bytes > Remaining()) {
        std::memset(out, 0, bytes);
        m_nPos = m_nSize;
        m_bOverrun = true;
        return false;
    }
    std::memcpy(out, m_pData + m_nPos, bytes);
    m_nPos += bytes;
    return true;
}

// Bytes up to and including the 0, which must come within limit bytes.
bool qvn_cImporter::ReadString(char* out, size_t limit) {
    for (size_t i = 0; i < limit; ++i) {
        if (m_nPos >= m_nSize) {
            m_bOverrun = true;
            if (out) out[i] = 0;
            return false;
        }
        const char c = static_cast<char>(m_pData[m_nPos++]);
        if (out) out[i] = c;
        if (c == 0) return true;
    }
    if (out) out[limit - 1] = 0;
    return false;
}

bool qvn_cImporter::Fail(const char* why) {
    QVN_LOG_LOCATION();
    LogMessage("%s", why);
    return false;
}

// ---- entry points ----------------------------------------------------------

bool qvn_cImporter::LoadData(const char* path, qvn_cScene* scene) {
    m_pScene = scene;
    if (!scene) {
        QVN_LOG_LOCATION();
        LogMessage("Error: Scene isn'o allocated ! LoadData failed\n");
        return false;
    }
    const std::string resolved = path ? qvn_ResolveDataPath(path) : std::string();
    gzFile file = path ? gzopen(resolved.c_str(), "rb") : nullptr;
    if (!file) {
        ErrorHandler("failed to open file : %s\n", path ? path : "(null)");
        return false;
    }
    std::error_code sizeError;
    const uint64_t fileBytes = std::filesystem::file_size(resolved, sizeError);
    const size_t maxBytes = MaxInflatedBytes(sizeError ? 0 : fileBytes);
    // The whole stream is inflated first, so every count in it can be checked
    // against the bytes that really follow before anything is allocated.
    std::vector<uint8_t> data;
    bool readError = false;
    uint8_t chunk[65536];
    for (;;) {
        const int got = gzread(file, chunk, sizeof chunk);
        if (got < 0) {
            readError = true;
            break;
        }
        if (got == 0) break;
        if (data.size() + static_cast<size_t>(got) > maxBytes) {
            readError = true;
            break;
        }
        data.insert(data.end(), chunk, chunk + got);
    }
    // A gzip stream cut before its trailer ends quietly: only the stream's
    // error state tells that its check value was never verified.
    int zerr = Z_OK;
    gzerror(file, &zerr);
    if (zerr != Z_OK && zerr != Z_STREAM_END) readError = true;
    gzclose(file);
    if (readError) {
        QVN_LOG_LOCATION();
        LogMessage("failed to read file : %s\n", path);
        return false;
    }
    return LoadBuffer(data.data(), data.size(), scene);
}

bool qvn_cImporter::LoadBuffer(const uint8_t* data, size_t bytes, qvn_cScene* scene) {
    m_pScene = scene;
    if (!scene) {
        QVN_LOG_LOCATION();
        LogMessage("Error: Scene isn'o allocated ! LoadData failed\n");
        return false;
    }
    m_pData = data;
    m_nSize = data ? bytes : 0;
    m_nPos = 0;
    m_bOverrun = false;
    m_nTracks = m_nVertices = m_nTextureVertices = m_nFaces = 0;
    const bool ok = Parse();
    m_pData = nullptr;
    m_nSize = m_nPos = 0;
    return ok;
}

bool qvn_cImporter::Parse() {
    if (!LoadHeader()) {
        LogMessage("This isn't a .QVN file : LoadHeader failed\n");
        return false;
    }
    LoadEnvironement();
    if (!LoadMaterials()) return false;
    if (!LoadObjects()) {
        LogMessage("LoadObjects failed\n");
        return false;
    }
    if (!LoadCameras()) {
        LogMessage("LoadCameras failed\n");
        return false;
    }
    if (!LoadTargets()) {
        LogMessage("LoadTargets failed\n");
        return false;
    }
    if (!LoadMeshes()) {
        LogMessage("LoadMeshes failed\n");
        return false;
    }
    PostProcess();
    return m_pScene->PrepareRendering();
}

// ---- sections --------------------------------------------------------------

bool qvn_cImporter::LoadHeader() {
    if (Remaining() < 4) return false;
    if (static_cast<uint32_t>(ReadInt()) != kMagic) return false;
    if (!ReadString(nullptr, kTitleBytes)) return false;
    ReadInt();
    return !m_bOverrun;
}

void qvn_cImporter::LoadEnvironement() {
    if (ReadInt() == 0) return;
    qvn_cColor& c = m_pScene->m_Fog.m_Color;
    c.r = ReadFloat();
    c.g = ReadFloat();
    c.b = ReadFloat();
    c.fog = ReadFloat();
    m_pScene->m_Fog.m_bEnabled = 1;
}

bool qvn_cImporter::LoadMaterials() {
    const int32_t count = ReadInt();
    ReadInt();
    if (m_bOverrun) return Fail("File ends early\n");
    // A material takes at least a one-byte name, its flags and its type.
    if (!Fits(count, 9) || count > kMaxMaterials) return Fail("Bad material count\n");
    qvn_cRenderer* renderer = m_pScene->m_pRenderer;
    if (count > 0 && (!renderer || !ReserveMore(m_pScene->m_pMaterials, m_pScene->m_nMaterialCount, count)))
        return Fail("Material allocation failed\n");
    for (int32_t i = 0; i < count; ++i) {
        if (!ReadString(nullptr, kNameBytes)) return Fail("Bad material name\n");
        const int32_t flags = ReadInt();
        const int32_t type = ReadInt();
        if (m_bOverrun) return Fail("File ends early\n");
        qvn_cMaterial* material = Append(m_pScene->m_pMaterials, m_pScene->m_nMaterialCount, renderer->NewMaterial());
        if (!material) return Fail("Material allocation failed\n");
        material->m_nType = type;
        if (flags & 1) {
            if (!material->AllocTexture(0, renderer) || !LoadTexture(material->m_pTexture[0])) return false;
        }
        if (flags & 2) {
            if (!material->AllocTexture(1, renderer) || !LoadTexture(material->m_pTexture[1])) return false;
        }
        // A block that belongs to no slot: read past it to stay in step.
        if (flags & 8) {
            if (!SkipTexture()) return false;
        }
        if (flags & 4) {
            if (!material->AllocTexture(2, renderer) || !LoadTexture(material->m_pTexture[2])) return false;
            material->Finish();
        }
    }
    return true;
}

bool qvn_cImporter::SkipTexture() {
    ReadInt();
    const int32_t width = ReadInt();
    const int32_t height = ReadInt();
    const int32_t bpp = ReadInt();
    if (m_bOverrun) return Fail("File ends early\n");
    if (bpp != 8) return Fail("Texture is not 8 bits per pixel\n");
    if (width < 0 || height < 0 || width > kMaxTextureSide || height > kMaxTextureSide)
        return Fail("Bad texture size\n");
    const uint64_t bytes = kPaletteBytes + static_cast<uint64_t>(width) * static_cast<uint64_t>(height);
    if (bytes > Remaining()) return Fail("File ends early\n");
    m_nPos += static_cast<size_t>(bytes);
    return true;
}

bool qvn_cImporter::LoadTexture(qvn_cTexture* texture) {
    ReadInt();
    const int32_t width = ReadInt();
    const int32_t height = ReadInt();
    const int32_t bpp = ReadInt();
    if (m_bOverrun) return Fail("File ends early\n");
    if (bpp != 8) return Fail("Texture is not 8 bits per pixel\n");
    if (width <= 0 || height <= 0 || width > kMaxTextureSide || height > kMaxTextureSide)
        return Fail("Bad texture size\n");
    const uint64_t pixels = static_cast<uint64_t>(width) * static_cast<uint64_t>(height);
    if (kPaletteBytes + pixels > Remaining()) return Fail("File ends early\n");
    // Palette and pixels are handed over in place: the file buffer already
    // holds them contiguously.
    const uint8_t* palette = m_pData + m_nPos;
    const uint8_t* indices = palette + kPaletteBytes;
    m_nPos += kPaletteBytes + static_cast<size_t>(pixels);
    if (!texture->loadIndexed(indices, palette, width, height)) return Fail("loadIndexed failed\n");
    if (m_pScene->m_Fog.m_bEnabled) texture->m_bFogged = 1;
    return true;
}

bool qvn_cImporter::LoadObjects() {
    const int32_t count = ReadInt();
    if (m_bOverrun) return Fail("File ends early\n");
    // Name, parent, matrix, pivot, rotation, scale, frequency, track count,
    // one static track and a range count: at least 133 bytes an object.
    if (!Fits(count, 133) || count > kMaxObjects) return Fail("Bad object count\n");
    m_nObjectBase = m_pScene->m_nObjectCount;
    if (!ReserveMore(m_pScene->m_pObjects, m_pScene->m_nObjectCount, count)) return Fail("Object allocation failed\n");
    for (int32_t o = 0; o < count; ++o) {
        qvn_cObject* object = Append(m_pScene->m_pObjects, m_pScene->m_nObjectCount, new (std::nothrow) qvn_cObject());
        if (!object) return Fail("Object allocation failed\n");
        if (!ReadString(object->m_szName, kNameBytes)) return Fail("Bad object name\n");
        const int32_t parent = ReadInt();
        // Parents come before their children; anything else (itself, a later
        // object, a loop) cannot be resolved.
        if (parent != -1 && (parent < 0 || parent >= o)) return Fail("Parent index out of range\n");
        object->m_nParentIndex = parent;
        if (parent != -1) object->m_pParent = m_pScene->m_pObjects[m_nObjectBase + parent];
        for (float& v : object->m_Matrix.m) v = ReadFloat();
        object->m_Pivot.x = ReadFloat();
        object->m_Pivot.y = ReadFloat();
        object->m_Pivot.z = ReadFloat();
        object->m_Rotation.angle = ReadFloat();
        object->m_Rotation.ax = ReadFloat();
        object->m_Rotation.ay = ReadFloat();
        object->m_Rotation.az = ReadFloat();
        object->m_Scale.angle = ReadFloat();
        object->m_Scale.ax = ReadFloat();
        object->m_Scale.ay = ReadFloat();
        object->m_Scale.az = ReadFloat();
        const int32_t frequency = ReadInt();
        if (m_bOverrun) return Fail("File ends early\n");
        if (frequency != 1) {
            // Keys between the samples would have no position to draw from.
            QVN_LOG_LOCATION();
            LogMessage("Warning! Sample frenquency != 1 not implemented yet !!!!\n");
            return false;
        }
        const int32_t tracks = ReadInt();
        if (m_bOverrun) return Fail("File ends early\n");
        if (tracks < 1 || !Fits(tracks, 1 + 4 + kKeyBytes) || tracks > kMaxTracks - m_nTracks)
            return Fail("Bad track count\n");
        m_nTracks += tracks;
        for (int32_t t = 0; t < tracks; ++t) {
            if (!object->AddAnim()) return Fail("Add anim failed\n");
            qvn_cAnim* anim = object->m_pAnim[object->m_nAnimCount - 1];
            if (!ReadString(anim->m_szName, qvn_cAnim::kNameBytes)) return Fail("Bad track name\n");
            const int32_t keys = ReadInt();
            if (m_bOverrun) return Fail("File ends early\n");
            const bool isStatic = keys == -1;
            // A moving track needs two keys: its frames cycle over keys 0 .. n-2.
            if (!isStatic && keys < 2) return Fail("Bad key count\n");
            const int32_t stored = isStatic ? 1 : keys;
            if (!Fits(stored, kKeyBytes)) return Fail("File ends early\n");
            if (!anim->AllocAnimFrame(stored)) return Fail("AllocAnimFrame has failed\n");
            for (int32_t k = 0; k < stored; ++k) {
                qvn_cAnimFrame& frame = anim->m_pFrames[k];
                const float x = ReadFloat(), y = ReadFloat(), z = ReadFloat();
                const float a = ReadFloat(), ax = ReadFloat(), ay = ReadFloat(), az = ReadFloat();
                // A key without its position or rotation would be read by
                // every frame that shows it.
                if (!frame.SetPos(x, y, z) || !frame.SetRot(a, ax, ay, az)) return false;
            }
            anim->m_bStatic = isStatic ? 1 : 0;
        }
        object->m_pCurrentAnim = object->m_pAnim[object->m_nAnimCount - 1];
        const int32_t ranges = ReadInt();
        if (m_bOverrun) return Fail("File ends early\n");
        if (!Fits(ranges, 12)) return Fail("Bad range count\n");
        if (!object->m_Activity.Alloc(ranges)) return Fail("Activity allocation failed\n");
        for (int32_t r = 0; r < ranges; ++r) {
            qvn_cActivity::SRange& range = object->m_Activity.m_pRanges[r];
            range.first = ReadInt();
            range.end = ReadInt();
            range.value = ReadFloat();
        }
        // The list repeats with the last end frame as its period.
        if (ranges > 0 && object->m_Activity.m_pRanges[ranges - 1].end <= 0) return Fail("Empty activity cycle\n");
    }
    return true;
}

bool qvn_cImporter::LoadCameras() {
    const int32_t count = ReadInt();
    if (m_bOverrun) return Fail("File ends early\n");
    if (!Fits(count, 8 + 24 + 8 + 8) || count > kMaxCameras) return Fail("Bad camera count\n");
    if (!ReserveMore(m_pScene->m_pCameras, m_pScene->m_nCameraCount, count)) return Fail("Camera allocation failed\n");
    const int32_t objects = m_pScene->m_nObjectCount - m_nObjectBase;
    for (int32_t c = 0; c < count; ++c) {
        qvn_cCamera* camera = Append(m_pScene->m_pCameras, m_pScene->m_nCameraCount, new (std::nothrow) qvn_cCamera());
        if (!camera) return Fail("Camera allocation failed\n");
        const int32_t eye = ReadInt();
        const int32_t target = ReadInt();
        if (eye < 0 || eye >= objects || target < 0 || target >= objects) return Fail("Camera object index out of range\n");
        camera->m_pEye = m_pScene->m_pObjects[m_nObjectBase + eye];
        camera->m_pTarget = m_pScene->m_pObjects[m_nObjectBase + target];
        camera->m_fFile0 = ReadFloat();
        camera->m_fFile1 = ReadFloat();
        const float nearDistance = ReadFloat();
        camera->m_fNear = nearDistance >= 1.0f ? nearDistance : 1.0f;  // NaN becomes 1.0 too
        camera->m_fFar = ReadFloat();
        camera->SetFov(ReadFloat());
        camera->m_fFile5 = ReadFloat();
        const int32_t rolls = ReadInt();
        if (m_bOverrun) return Fail("File ends early\n");
        if (!Fits(rolls, 4) || !camera->AllocRoll(rolls)) return Fail("Bad roll track\n");
        for (int32_t i = 0; i < rolls; ++i) camera->m_pRoll[i] = ReadFloat();
        const int32_t fovs = ReadInt();
        if (m_bOverrun) return Fail("File ends early\n");
        if (!Fits(fovs, 4) || !camera->AllocFov(fovs)) return Fail("Bad field-of-view track\n");
        for (int32_t i = 0; i < fovs; ++i) camera->m_pFovTrack[i] = ReadFloat();
    }
    return true;
}

bool qvn_cImporter::LoadTargets() {
    const int32_t count = ReadInt();
    if (m_bOverrun) return Fail("File ends early\n");
    if (!Fits(count, 4) || count > kMaxTargets) return Fail("Bad target count\n");
    if (!ReserveMore(m_pScene->m_pTargets, m_pScene->m_nTargetCount, count)) return Fail("Target allocation failed\n");
    for (int32_t t = 0; t < count; ++t) {
        qvn_cTarget* target = Append(m_pScene->m_pTargets, m_pScene->m_nTargetCount, new (std::nothrow) qvn_cTarget());
        if (!target) return Fail("Target allocation failed\n");
        target->m_nObjectIndex = ReadInt();
    }
    return true;
}

bool qvn_cImporter::LoadMeshes() {
    const int32_t count = ReadInt();
    if (m_bOverrun) return Fail("File ends early\n");
    if (!Fits(count, 8 + 4 + 12 + 4 + 4) || count > kMaxMeshes) return Fail("Bad mesh count\n");
    if (!ReserveMore(m_pScene->m_pMeshes, m_pScene->m_nMeshCount, count)) return Fail("Mesh allocation failed\n");
    const int32_t objects = m_pScene->m_nObjectCount - m_nObjectBase;
    const int32_t materials = m_pScene->m_nMaterialCount;
    const int32_t firstMesh = m_pScene->m_nMeshCount;
    for (int32_t m = 0; m < count; ++m) {
        qvn_cMesh* mesh = Append(m_pScene->m_pMeshes, m_pScene->m_nMeshCount, new (std::nothrow) qvn_cMesh());
        if (!mesh) return Fail("Mesh allocation failed\n");
        const int32_t objectIndex = ReadInt();
        ReadInt();
        if (m_bOverrun) return Fail("File ends early\n");
        if (objectIndex < 0 || objectIndex >= objects) return Fail("Mesh object index out of range\n");
        mesh->m_pObject = m_pScene->m_pObjects[m_nObjectBase + objectIndex];
        mesh->m_nObjectIndex = objectIndex;
        mesh->m_pScene = m_pScene;
        const int32_t parent = mesh->m_pObject->m_nParentIndex;
        if (parent != -1) {
            mesh->m_pParentObject = m_pScene->m_pObjects[m_nObjectBase + parent];
            for (int32_t k = m_pScene->m_nMeshCount - 2; k >= firstMesh; --k) {
                if (m_pScene->m_pMeshes[k]->m_nObjectIndex == parent) {
                    mesh->m_pParentMesh = m_pScene->m_pMeshes[k];
                    break;
                }
            }
        }
        const int32_t vertices = ReadInt();
        if (m_bOverrun) return Fail("File ends early\n");
        if (vertices < 1 || !Fits(vertices, 12) || vertices > kMaxVertices - m_nVertices)
            return Fail("Bad vertex count\n");
        m_nVertices += vertices;
        if (!mesh->AllocVertex(vertices)) return false;
        for (int32_t i = 0; i < vertices; ++i) {
            qvn_cVector& p = mesh->m_pVertices[i].m_Pos;
            p.x = ReadFloat();
            p.y = ReadFloat();
            p.z = ReadFloat();
        }
        const int32_t tvertices = ReadInt();
        if (m_bOverrun) return Fail("File ends early\n");
        if (!Fits(tvertices, 8) || tvertices > kMaxTextureVertices - m_nTextureVertices)
            return Fail("Bad texture-vertex count\n");
        m_nTextureVertices += tvertices;
        if (!mesh->AllocTextureVertex(tvertices)) return false;
        for (int32_t i = 0; i < tvertices; ++i) {
            mesh->m_pTextureVertices[i].u = ReadFloat();
            mesh->m_pTextureVertices[i].v = ReadFloat();
        }
        const int32_t faces = ReadInt();
        if (m_bOverrun) return Fail("File ends early\n");
        if (!Fits(faces, kFaceBytes) || faces > kMaxFaces - m_nFaces) return Fail("Bad face count\n");
        m_nFaces += faces;
        if (!mesh->AllocFace(faces)) return false;
        for (int32_t f = 0; f < faces; ++f) {
            int32_t idx[7];
            for (int32_t& v : idx) v = ReadInt();
            qvn_cFace& face = mesh->m_pFaces[f];
            for (int k = 0; k < 3; ++k) {
                if (idx[k] < 0 || idx[k] >= vertices) return Fail("Vertex index out of range\n");
                if (idx[3 + k] < 0 || idx[3 + k] >= tvertices) return Fail("Texture-vertex index out of range\n");
                face.m_pVertex[k] = &mesh->m_pVertices[idx[k]];
                face.m_Corner[k].u = mesh->m_pTextureVertices[idx[3 + k]].u;
                face.m_Corner[k].v = mesh->m_pTextureVertices[idx[3 + k]].v;
            }
            if (idx[6] < 0 || idx[6] >= materials) return Fail("Material index out of range\n");
            face.m_pMaterial = m_pScene->m_pMaterials[idx[6]];
            face.m_pMesh = mesh;
        }
    }
    return true;
}

// ---- after the records -----------------------------------------------------

void qvn_cImporter::PostProcess() {
    qvn_cScene* scene = m_pScene;
    // Vertices placed by object matrix * translation(-pivot).
    for (int m = 0; m < scene->m_nMeshCount; ++m) {
        qvn_cMesh* mesh = scene->m_pMeshes[m];
        const qvn_cObject* object = mesh->m_pObject;
        if (!object) continue;
        const qvn_cMatrix M =
            object->m_Matrix * qvn_cMatrix::Translation(-object->m_Pivot.x, -object->m_Pivot.y, -object->m_Pivot.z);
        for (int i = 0; i < mesh->m_nVertexCount; ++i) mesh->m_pVertices[i].m_Pos = mesh->m_pVertices[i].m_Pos.Transform(M);
    }
    // Bounding boxes.
    for (int m = 0; m < scene->m_nMeshCount; ++m) {
        qvn_cMesh* mesh = scene->m_pMeshes[m];
        if (mesh->m_nVertexCount <= 0) continue;
        qvn_cVector mn = mesh->m_pVertices[0].m_Pos, mx = mn;
        for (int i = 1; i < mesh->m_nVertexCount; ++i) {
            const qvn_cVector& p = mesh->m_pVertices[i].m_Pos;
            mn.x = std::fmin(mn.x, p.x);
            mn.y = std::fmin(mn.y, p.y);
            mn.z = std::fmin(mn.z, p.z);
            mx.x = std::fmax(mx.x, p.x);
            mx.y = std::fmax(mx.y, p.y);
            mx.z = std::fmax(mx.z, p.z);
        }
        mesh->m_Box.Set(mn, mx);
    }
    // Total face count.
    int32_t total = 0;
    for (int m = 0; m < scene->m_nMeshCount; ++m) total += scene->m_pMeshes[m]->m_nFaceCount;
    scene->m_nTotalFaces = total;
    // Face normals, then vertex normals as half the mean of their faces'.
    std::vector<int32_t> uses;
    for (int m = 0; m < scene->m_nMeshCount; ++m) {
        qvn_cMesh* mesh = scene->m_pMeshes[m];
        for (int f = 0; f < mesh->m_nFaceCount; ++f) {
            qvn_cFace& face = mesh->m_pFaces[f];
            const qvn_cVector& p0 = face.m_pVertex[0]->m_Pos;
            const qvn_cVector e1 = face.m_pVertex[1]->m_Pos - p0;
            const qvn_cVector e2 = face.m_pVertex[2]->m_Pos - p0;
            qvn_cVector n(e1.y * e2.z - e1.z * e2.y, e1.z * e2.x - e1.x * e2.z, e1.x * e2.y - e1.y * e2.x);
            const float len = n.Length();
            // A zero-area face has no direction; it keeps a zero normal rather
            // than spreading NaN into its vertices.
            face.m_Normal = len > 0.0f ? qvn_cVector(n.x / len, n.y / len, n.z / len) : qvn_cVector();
        }
        uses.assign(static_cast<size_t>(mesh->m_nVertexCount), 0);
        for (int i = 0; i < mesh->m_nVertexCount; ++i) mesh->m_pVertices[i].m_Normal = qvn_cVector();
        for (int f = 0; f < mesh->m_nFaceCount; ++f) {
            qvn_cFace& face = mesh->m_pFaces[f];
            for (int k = 0; k < 3; ++k) {
                bool seen = false;
                for (int j = 0; j < k; ++j) seen = seen || face.m_pVertex[j] == face.m_pVertex[k];
                if (seen) continue;
                const size_t vi = static_cast<size_t>(face.m_pVertex[k] - mesh->m_pVertices);
                mesh->m_pVertices[vi].m_Normal += face.m_Normal;
                ++uses[vi];
            }
        }
        for (int i = 0; i < mesh->m_nVertexCount; ++i) {
            if (uses[i] == 0) continue;
            const float s = 0.5f / static_cast<float>(uses[i]);
            qvn_cVector& n = mesh->m_pVertices[i].m_Normal;
            n = qvn_cVector(n.x * s, n.y * s, n.z * s);
        }
        // Environment-mapped when any face's material has a second texture.
        mesh->m_bEnvMapped = 0;
        for (int f = 0; f < mesh->m_nFaceCount; ++f) {
            const qvn_cMaterial* mat = mesh->m_pFaces[f].m_pMaterial;
            if (mat && mat->m_pTexture[1]) mesh->m_bEnvMapped = 1;
        }
    }
}
