// Blob values: a byte value of any length kept as a chain of pieces, with an
// optional rollback copy so that an edit can be cancelled. Record stores keep
// one per blob field of a record; back ends fill them piece by piece.
#pragma once

#include <cstdint>
#include <string>

#include "oracle/core/SharedObject.h"

namespace platform {
class TStream;
}

namespace oracle {

class TBlob;

// Header of a piece; its data bytes follow it directly.
struct TPieceHeader {
    TBlob* Owner;
    uint32_t Capacity;
    uint32_t Used;
    TPieceHeader* Prev;
    TPieceHeader* Next;
};
using PPieceHeader = TPieceHeader*;

// A full piece with its header takes 64 KiB on the original 32-bit layout; kept so
// that values split into the same pieces everywhere.
inline constexpr uint32_t DefaultPieceSize = 65514;

class TBlob : public TSharedObject {
public:
    TBlob() = default;

    uint32_t PieceSize = DefaultPieceSize;
    bool Cached() const { return cached_; }
    void SetCached(bool value) { cached_ = value; }
    bool HasRollback() const { return rollback_ != nullptr; }

    // Hook run before every read and before the value is cut or emptied (a back end may
    // load its value here).
    virtual void CheckValue() {}
    virtual uint32_t GetSize();
    // Count 0 reads the whole value; answers the bytes copied.
    virtual uint32_t Read(uint32_t position, uint32_t count, void* dest);
    virtual void Write(uint32_t position, uint32_t count, const void* source);
    void Truncate(uint32_t size);
    void Compress();
    void Clear();
    // The whole stream from its start replaces the value; saving replaces the stream's content.
    virtual void LoadFromStream(platform::TStream& stream);
    virtual void SaveToStream(platform::TStream& stream);
    std::string AsString();
    void SetAsString(const std::string& value);
    // Posting drops the rollback copy; cancelling brings the saved value back.
    void Commit();
    void Cancel();
    // A new blob holding the value as it was before the pending edit (the rollback
    // copy when there is one, else the value itself); the caller owns its reference.
    TBlob* CopyOriginal();

    // Piece operations for back ends that fill blobs themselves.
    PPieceHeader AllocPiece(uint32_t capacity);
    void AppendPiece(PPieceHeader piece);
    void ReallocPiece(PPieceHeader& piece, uint32_t capacity);
    void FreePiece(PPieceHeader piece);
    void DeletePiece(PPieceHeader piece);
    void CompressPiece(PPieceHeader& piece);
    PPieceHeader FirstPiece() const { return first_; }
    static uint8_t* PieceData(PPieceHeader piece);
    static uint32_t* PieceUsedPtr(PPieceHeader piece);

protected:
    ~TBlob() override;

private:
    void CheckValid() const;
    void SaveRollback();
    void FreeAllPieces();
    void Unlink(PPieceHeader piece);
    PPieceHeader LastPiece() const;

    PPieceHeader first_ = nullptr;
    bool cached_ = false;
    TBlob* rollback_ = nullptr;
    uint8_t check_ = 0xDD;
};

}  // namespace oracle
