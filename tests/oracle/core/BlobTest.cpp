#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

#include "oracle/core/Assertion.h"
#include "oracle/core/Blob.h"
#include "platform/Streams.h"

namespace oracle {
namespace {

// Owns one counted reference for the test's lifetime.
struct BlobRef {
    TBlob* blob = NewShared<TBlob>();
    ~BlobRef() { blob->Release(); }
    TBlob* operator->() const { return blob; }
};

std::string ReadAll(TBlob* blob) { return blob->AsString(); }

void Write(TBlob* blob, uint32_t position, const std::string& text) {
    blob->Write(position, static_cast<uint32_t>(text.size()), text.data());
}

int PieceCount(TBlob* blob) {
    int count = 0;
    for (PPieceHeader p = blob->FirstPiece(); p; p = p->Next) ++count;
    return count;
}

TEST(Blob, ReadsByPositionAndCount) {
    BlobRef b;
    Write(b.blob, 0, "0123456789");
    struct Case {
        uint32_t position, count;
        const char* expected;
    } cases[] = {{0, 0, "0123456789"}, {3, 4, "3456"}, {8, 10, "89"}, {10, 5, ""}, {11, 5, ""}};
    for (const Case& c : cases) {
        char buffer[32] = {};
        const uint32_t read = b->Read(c.position, c.count, buffer);
        EXPECT_EQ(std::string(buffer, read), c.expected) << c.position << "," << c.count;
    }
}

TEST(Blob, WritesNeverLeaveGaps) {
    BlobRef b;
    Write(b.blob, 0, "0123456789");
    Write(b.blob, 500, std::string(100, 'x'));
    EXPECT_EQ(b->GetSize(), 110u);
    EXPECT_EQ(ReadAll(b.blob).substr(8, 4), "89xx");
}

TEST(Blob, LongValuesAreSplitIntoPieces) {
    BlobRef b;
    const std::string value(65515, 'v');
    platform::TMemoryStream source;
    source.WriteBuffer(value.data(), static_cast<int32_t>(value.size()));
    b->LoadFromStream(source);
    ASSERT_EQ(PieceCount(b.blob), 2);
    EXPECT_EQ(b->FirstPiece()->Used, 65514u);
    EXPECT_EQ(b->FirstPiece()->Next->Used, 1u);
    EXPECT_EQ(ReadAll(b.blob), value);

    platform::TMemoryStream target;
    target.WriteBuffer("old content", 11);
    b->SaveToStream(target);
    ASSERT_EQ(target.Size(), 65515);
    EXPECT_EQ(std::string(target.Memory(), 65515), value);
}

TEST(Blob, CachedEditKeepsTheUnchangedBytesAndCanBeCancelled) {
    BlobRef b;
    Write(b.blob, 0, "Hello, world");
    b->SetCached(true);
    Write(b.blob, 7, "WORLD");  // a partial write must not wipe the value
    EXPECT_EQ(ReadAll(b.blob), "Hello, WORLD");
    Write(b.blob, 12, "!");
    EXPECT_EQ(ReadAll(b.blob), "Hello, WORLD!");
    b->Cancel();
    EXPECT_EQ(ReadAll(b.blob), "Hello, world");
    EXPECT_FALSE(b->Cached());

    b->SetCached(true);
    b->Truncate(5);
    EXPECT_EQ(ReadAll(b.blob), "Hello");
    b->Commit();
    EXPECT_FALSE(b->HasRollback());
    EXPECT_EQ(ReadAll(b.blob), "Hello");
}

TEST(Blob, ClearAndTruncateZeroEmptyTheValue) {
    BlobRef b;
    Write(b.blob, 0, "abc");
    b->SetCached(true);
    b->Clear();
    EXPECT_EQ(b->GetSize(), 0u);
    b->Cancel();
    EXPECT_EQ(ReadAll(b.blob), "abc");
    b->Truncate(0);
    EXPECT_EQ(b->FirstPiece(), nullptr);
}

TEST(Blob, WritesLandByUsedBytesInPartlyFilledPieces) {
    // A back end appends pieces that are not full.
    BlobRef b;
    for (const char* part : {"abc", "defg"}) {
        PPieceHeader piece = b->AllocPiece(10);
        std::memcpy(TBlob::PieceData(piece), part, std::strlen(part));
        *TBlob::PieceUsedPtr(piece) = static_cast<uint32_t>(std::strlen(part));
        b->AppendPiece(piece);
    }
    ASSERT_EQ(ReadAll(b.blob), "abcdefg");
    Write(b.blob, 2, "XYZ");
    EXPECT_EQ(ReadAll(b.blob), "abXYZfg");
    Write(b.blob, 7, "12345");
    EXPECT_EQ(ReadAll(b.blob), "abXYZfg12345");
}

TEST(Blob, PieceOperationsCheckTheirArguments) {
    BlobRef a, other;
    EXPECT_THROW(a->AllocPiece(0), EAssertionFailed);
    PPieceHeader piece = a->AllocPiece(8);
    a->AppendPiece(piece);
    EXPECT_THROW(other->DeletePiece(piece), EAssertionFailed);
    EXPECT_THROW(a->ReallocPiece(piece, 8), EAssertionFailed);
    std::memcpy(TBlob::PieceData(piece), "abcd", 4);
    piece->Used = 4;
    a->CompressPiece(piece);
    EXPECT_EQ(piece->Capacity, 4u);
    EXPECT_EQ(a->FirstPiece(), piece);
    EXPECT_EQ(ReadAll(a.blob), "abcd");
    EXPECT_EQ(TBlob::PieceData(nullptr), nullptr);
}

TEST(Blob, RandomEditsMatchAPlainString) {
    std::mt19937 random(7);
    BlobRef b;
    b->PieceSize = 16;  // small pieces so that edits cross piece borders
    std::string model;
    for (int step = 0; step < 3000; ++step) {
        const int op = static_cast<int>(random() % 10);
        if (op < 6) {
            const uint32_t position = random() % (model.size() + 5);
            const std::string text(random() % 40, static_cast<char>('a' + random() % 26));
            Write(b.blob, position, text);
            const size_t at = std::min<size_t>(position, model.size());
            model.replace(at, std::min(text.size(), model.size() - at), text);
        } else if (op < 8) {
            const uint32_t size = random() % (model.size() + 3);
            b->Truncate(size);
            if (size < model.size()) model.resize(size);
        } else if (op == 8) {
            b->Compress();
        } else {
            b->SetCached(true);
            const std::string before = model;
            Write(b.blob, random() % (model.size() + 1), "zz");
            b->Cancel();
            model = before;
        }
        ASSERT_EQ(ReadAll(b.blob), model) << "step " << step;
    }
}

}  // namespace
}  // namespace oracle
