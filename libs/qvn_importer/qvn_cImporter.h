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
    // Scene files are a few hundred KiB; a stream inflating past this is not one.
    static constexpr size_t kMaxFileBytes = 64u << 20;

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
};
