// The shared bit reader: values, alignment, and above all that it stays
// inside its buffer and reports reads past the data.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <vector>

#include "qvn_BitSource.h"

namespace {

struct SourceDeleter {
    void operator()(SBitSource* s) const { SBitSource::Free(s); }
};
using SourcePtr = std::unique_ptr<SBitSource, SourceDeleter>;

SourcePtr FromBytes(std::vector<uint8_t> bytes) {
    return SourcePtr(SBitSource::OpenMemory(bytes.data(), bytes.size()));
}

TEST(Mp3BitSource, ReadsMostSignificantBitFirstAcrossBytes) {
    auto s = FromBytes({0xA5, 0x3C, 0xFF, 0x01, 0x80, 0x7E});
    ASSERT_TRUE(s);
    EXPECT_EQ(s->readBits(0), 0u);
    EXPECT_EQ(s->readBits(3), 0x5u);       // 101
    EXPECT_EQ(s->readBits(7), 0x14u);      // 0010100 (00101 of A5, 00 of 3C)
    EXPECT_EQ(s->peekBits(6), 0x3Cu);      // 111100
    EXPECT_EQ(s->readBits(22), 0x3CFF01u); // rest of 3C, FF, 01 ... crossing four bytes
    EXPECT_EQ(s->nBitPos, 32);
    EXPECT_EQ(s->readBit(), 1u);
    EXPECT_EQ(s->readBits(32), 0x00FC0000u);  // 0000000 0111 1110 then zeros past the data
    EXPECT_TRUE(s->bOverrun);
}

TEST(Mp3BitSource, ByteAndWordReadsAlignToBytes) {
    auto s = FromBytes({0xFF, 0x12, 0x34, 0x56, 0x78});
    s->readBits(3);
    EXPECT_EQ(s->readByte(), 0x12u);
    // A 16-bit read at an odd byte offset reads there, not at the next even one.
    EXPECT_EQ(s->read16(), 0x3456u);
    uint8_t buf[4] = {9, 9, 9, 9};
    EXPECT_EQ(s->readBytes(buf, 4), 1);
    EXPECT_EQ(buf[0], 0x78);
    EXPECT_EQ(buf[1], 0);
    EXPECT_EQ(buf[3], 0);
    EXPECT_TRUE(s->bOverrun);
}

TEST(Mp3BitSource, ReadsPastTheEndGiveZerosAndStayInsideTheBuffer) {
    auto s = FromBytes({0xFF});
    EXPECT_FALSE(s->AtEnd());
    EXPECT_EQ(s->readBits(8), 0xFFu);
    EXPECT_TRUE(s->AtEnd());
    EXPECT_FALSE(s->bOverrun);
    // Far more than the spare bytes: the position is clamped, reads stay zero.
    for (int i = 0; i < 10000; ++i) EXPECT_EQ(s->readBits(25), 0u);
    EXPECT_TRUE(s->bOverrun);
    EXPECT_LE(s->nBitPos, s->MaxBitPos());
    EXPECT_EQ(s->pRead, s->pBuffer + (s->nBitPos >> 3));
    s->SkipBits(int64_t{1} << 40);
    EXPECT_EQ(s->readBits(32), 0u);
    std::vector<uint8_t> big(100000, 0xAB);
    EXPECT_EQ(s->readBytes(big.data(), 100000), 0);
    EXPECT_EQ(big[99999], 0);
}

TEST(Mp3BitSource, EmptyDataIsReadableAsZeros) {
    auto s = FromBytes({});
    ASSERT_TRUE(s);
    EXPECT_TRUE(s->AtEnd());
    EXPECT_EQ(s->peekBits(32), 0u);
    EXPECT_EQ(s->readBits(17), 0u);
}

TEST(Mp3BitSource, SavedPositionRestoresWindow) {
    auto s = FromBytes({0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09});
    s->readBits(12);
    s->SavePosition();
    const uint32_t next = s->peekBits(20);
    s->readBits(40);
    s->RestorePosition();
    EXPECT_EQ(s->peekBits(20), next);
    EXPECT_EQ(s->nWindow, 0x02030405u);
    s->Rewind();
    EXPECT_EQ(s->readByte(), 1u);
    s->Activate();
    EXPECT_EQ(g_pActiveBitSource, s.get());
}

TEST(Mp3BitSource, LoadsFilesAndRefusesMissingOnes) {
    EXPECT_EQ(SBitSource::OpenAndLoad("/nonexistent/qvn/file.bin"), nullptr);
    const auto path = std::filesystem::temp_directory_path() / "qvn_bitsource_test.bin";
    FILE* f = std::fopen(path.string().c_str(), "wb");
    ASSERT_TRUE(f);
    std::fputs("QVN!", f);
    std::fclose(f);
    SourcePtr s(SBitSource::OpenAndLoad(path.string().c_str()));
    std::filesystem::remove(path);
    ASSERT_TRUE(s);
    EXPECT_EQ(s->nDataBytes, 4);
    EXPECT_EQ(s->pFile, nullptr);
    EXPECT_EQ(s->read16(), 0x5156u);
    EXPECT_EQ(s->readBits(16), 0x4E21u);
    EXPECT_EQ(s->pBuffer[4 + SBitSource::kSpareBytes - 1], 0);
}

}  // namespace
