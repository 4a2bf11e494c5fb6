// Reads a .qvn scene file (a gzip stream, or the same records uncompressed)
// into an empty scene and prepares it for rendering.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class qvn_cScene;
class qvn_cTexture;

class qvn_cImporter {
public:
    static constexpr uint32_t kMagic = 0x51564E21;  // "!NVQ" on disk
    // Scene files are a few hundred KiB and inflate to two to four times
    // their size; a stream inflating past kMaxFileBytes, or past
    // kInflateFloorBytes + kMaxInflateRatio times the file, is not one (a
    // small file of zeros could otherwise ask for gigabytes of records).
    static constexpr size_t kMaxFileBytes = 64u << 20;
    static constexpr size_t kInflateFloorBytes = 1u << 20;
    static constexpr size_t kMaxInflateRatio = 8;
    // What a scene can sensibly hold: the show's scenes stay below a tenth of
    // each. With these, and the inflated size above, any file under 1 MB is
    // read in well under 64 MB.
    static constexpr int32_t kMaxMaterials = 256;
    static constexpr int32_t kMaxObjects = 1024;
    static constexpr int32_t kMaxTracks = 4096;  // over all objects
    static constexpr int32_t kMaxCameras = 256;
    static constexpr int32_t kMaxTargets = 1024;
    static constexpr int32_t kMaxMeshes = 1024;
    static constexpr int32_t kMaxVertices = 32768;         // over all meshes
    static constexpr int32_t kMaxTextureVertices = 65536;  // over all meshes
    static constexpr int32_t kMaxFaces = 32768;            // over all meshes
    static constexpr int32_t kMaxTextureSide = 4096;

    // The inflated size a file of fileBytes may reach.
    static size_t MaxInflatedBytes(uint64_t fileBytes);

    qvn_cImporter() = default;
    virtual ~qvn_cImporter() = default;

    // True when the whole file was read and the scene is ready to draw. On
    // false the scene keeps what was added before the failure and is unusable.
    bool LoadData(const char* path, qvn_cScene* scene);
    // The same from the file's bytes (already inflated).
    bool LoadBuffer(const uint8_t* data, size_t bytes, qvn_cScene* scene);

private:
    bool Parse();
    bool LoadHeader();
    void LoadEnvironement();
    bool LoadMaterials();
    bool LoadTexture(qvn_cTexture* texture);
    bool SkipTexture();
    bool LoadObjects();
    bool LoadCameras();
    bool LoadTargets();
    bool LoadMeshes();
    void PostProcess();

    // Bounded reader: past the end it returns zeros and sets m_bOverrun.
    int32_t ReadInt();
    float ReadFloat();
    bool ReadString(char* out, size_t limit);
    bool ReadBlock(void* out, size_t bytes);
    size_t Remaining() const { return m_nSize - m_nPos; }
    // count records of recordBytes each still fit in the file.
    bool Fits(int32_t count, size_t recordBytes) const {
        return count >= 0 && static_cast<size_t>(count) <= Remaining() / recordBytes;
    }
    bool Fail(const char* why);

    qvn_cScene* m_pScene = nullptr;
    const uint8_t* m_pData = nullptr;
    size_t m_nSize = 0;
    size_t m_nPos = 0;
    bool m_bOverrun = false;
    int32_t m_nObjectBase = 0;  // the file's object 0 in the scene's array
    int32_t m_nTracks = 0, m_nVertices = 0, m_nTextureVertices = 0, m_nFaces = 0;  // so far
};
