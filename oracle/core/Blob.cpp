#include "oracle/core/Blob.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "oracle/core/Assertion.h"
#include "platform/Streams.h"
#include "platform/SysUtils.h"

namespace oracle {

namespace {

void SetOwner(PPieceHeader first, TBlob* owner) {
    for (PPieceHeader p = first; p; p = p->Next) p->Owner = owner;
}

}  // namespace

TBlob::~TBlob() {
    check_ = 0;
    cached_ = false;
    FreeAllPieces();
    ReleaseObject(rollback_);
    rollback_ = nullptr;
}

void TBlob::CheckValid() const {
    if (check_ != 0xDD) throw platform::Exception("Invalid BLOB");
}

uint8_t* TBlob::PieceData(PPieceHeader piece) {
    return piece ? reinterpret_cast<uint8_t*>(piece + 1) : nullptr;
}

uint32_t* TBlob::PieceUsedPtr(PPieceHeader piece) { return piece ? &piece->Used : nullptr; }

PPieceHeader TBlob::AllocPiece(uint32_t capacity) {
    Check(capacity > 0, UnitMemData, "Piece capacity 0");
    auto* piece = static_cast<PPieceHeader>(::operator new(sizeof(TPieceHeader) + capacity));
    *piece = TPieceHeader{nullptr, capacity, 0, nullptr, nullptr};
    return piece;
}

PPieceHeader TBlob::LastPiece() const {
    PPieceHeader p = first_;
    while (p && p->Next) p = p->Next;
    return p;
}

void TBlob::AppendPiece(PPieceHeader piece) {
    piece->Owner = this;
    piece->Next = nullptr;
    piece->Prev = LastPiece();
    if (piece->Prev)
        piece->Prev->Next = piece;
    else
        first_ = piece;
}

void TBlob::Unlink(PPieceHeader piece) {
    if (piece->Prev)
        piece->Prev->Next = piece->Next;
    else
        first_ = piece->Next;
    if (piece->Next) piece->Next->Prev = piece->Prev;
    piece->Owner = nullptr;
    piece->Prev = piece->Next = nullptr;
}

void TBlob::DeletePiece(PPieceHeader piece) {
    Check(piece->Owner == this, UnitMemData, "Piece of another blob");
    Unlink(piece);
}

void TBlob::FreePiece(PPieceHeader piece) {
    if (piece->Owner) piece->Owner->DeletePiece(piece);
    ::operator delete(piece);
}

void TBlob::ReallocPiece(PPieceHeader& piece, uint32_t capacity) {
    if (capacity == 0) {
        FreePiece(piece);
        piece = nullptr;
        return;
    }
    Check(capacity < piece->Capacity, UnitMemData, "Piece can only shrink");
    PPieceHeader smaller = AllocPiece(capacity);
    smaller->Used = std::min(piece->Used, capacity);
    std::memcpy(PieceData(smaller), PieceData(piece), smaller->Used);
    if (piece->Owner) {
        smaller->Owner = piece->Owner;
        smaller->Prev = piece->Prev;
        smaller->Next = piece->Next;
        if (smaller->Prev)
            smaller->Prev->Next = smaller;
        else
            smaller->Owner->first_ = smaller;
        if (smaller->Next) smaller->Next->Prev = smaller;
    }
    ::operator delete(piece);
    piece = smaller;
}

void TBlob::CompressPiece(PPieceHeader& piece) {
    if (piece->Used < piece->Capacity) ReallocPiece(piece, piece->Used);
}

void TBlob::FreeAllPieces() {
    while (first_) FreePiece(first_);
}

uint32_t TBlob::GetSize() {
    CheckValid();
    uint32_t size = 0;
    for (PPieceHeader p = first_; p; p = p->Next) size += p->Used;
    return size;
}

uint32_t TBlob::Read(uint32_t position, uint32_t count, void* dest) {
    CheckValid();
    CheckValue();
    const uint32_t size = GetSize();
    if (!first_ || position > size) return 0;
    if (count == 0) count = size;
    const uint64_t end = uint64_t{position} + count;
    auto* out = static_cast<uint8_t*>(dest);
    uint32_t copied = 0;
    uint64_t start = 0;
    for (PPieceHeader p = first_; p && start < end; p = p->Next) {
        const uint64_t pieceEnd = start + p->Used;
        if (pieceEnd > position) {
            const uint64_t from = std::max<uint64_t>(start, position);
            const uint64_t to = std::min(pieceEnd, end);
            std::memcpy(out + copied, PieceData(p) + (from - start), static_cast<size_t>(to - from));
            copied += static_cast<uint32_t>(to - from);
        }
        start = pieceEnd;
    }
    return copied;
}

// The rollback copy receives a copy of the value, so that the change that follows
// works on the intact value and a partial write keeps the bytes around it.
void TBlob::SaveRollback() {
    if (!cached_) throw platform::Exception("Blob must be in cached mode");
    rollback_ = CopyOriginal();
}

void TBlob::Write(uint32_t position, uint32_t count, const void* source) {
    CheckValid();
    if (cached_ && !rollback_) SaveRollback();
    position = std::min(position, GetSize());
    auto* in = static_cast<const uint8_t*>(source);
    uint32_t remaining = count;

    // Bytes land by their logical place (used bytes); only pieces after the last
    // one holding data may grow into their spare capacity.
    PPieceHeader lastFilled = nullptr;
    for (PPieceHeader p = first_; p; p = p->Next)
        if (p->Used > 0) lastFilled = p;
    bool mayGrow = lastFilled == nullptr;
    uint32_t start = 0;
    for (PPieceHeader p = first_; p && remaining > 0; p = p->Next) {
        if (p == lastFilled) mayGrow = true;
        const uint32_t limit = mayGrow ? p->Capacity : p->Used;
        if (position >= start && position < start + limit) {
            const uint32_t offset = position - start;
            const uint32_t n = std::min(limit - offset, remaining);
            std::memcpy(PieceData(p) + offset, in, n);
            p->Used = std::max(p->Used, offset + n);
            in += n;
            position += n;
            remaining -= n;
        }
        start += p->Used;
    }
    while (remaining > 0) {
        PPieceHeader piece = AllocPiece(std::min(PieceSize, remaining));
        piece->Used = piece->Capacity;
        std::memcpy(PieceData(piece), in, piece->Used);
        in += piece->Used;
        remaining -= piece->Used;
        AppendPiece(piece);
    }
}

// A value a back end has not loaded yet is loaded before it is cut or emptied: else the
// change would be lost at the next read, which loads it, and a rollback copy would miss it.
void TBlob::Truncate(uint32_t size) {
    CheckValid();
    CheckValue();
    if (cached_ && !rollback_) SaveRollback();
    if (size == 0) {
        FreeAllPieces();
        return;
    }
    uint32_t kept = 0;
    for (PPieceHeader p = first_; p; p = p->Next) {
        p->Used = std::min(p->Used, size - kept);
        kept += p->Used;
    }
}

void TBlob::Compress() {
    CheckValid();
    PPieceHeader p = first_;
    while (p) {
        PPieceHeader next = p->Next;
        if (p->Used < p->Capacity) ReallocPiece(p, p->Used);
        p = next;
    }
}

void TBlob::Clear() {
    CheckValid();
    CheckValue();  // as for Truncate
    if (cached_ && !rollback_) SaveRollback();
    FreeAllPieces();
}

void TBlob::LoadFromStream(platform::TStream& stream) {
    Clear();
    stream.SetPosition(0);
    int64_t remaining = stream.Size();
    while (remaining > 0) {
        PPieceHeader piece = AllocPiece(static_cast<uint32_t>(std::min<int64_t>(PieceSize, remaining)));
        // A piece holds what the stream delivered, never unread bytes.
        const int32_t read = stream.StreamRead(PieceData(piece), static_cast<int32_t>(piece->Capacity));
        if (read <= 0) {
            FreePiece(piece);
            break;
        }
        piece->Used = static_cast<uint32_t>(read);
        AppendPiece(piece);
        remaining -= read;
    }
}

void TBlob::SaveToStream(platform::TStream& stream) {
    CheckValid();
    CheckValue();
    stream.SetSize(0);
    for (PPieceHeader p = first_; p; p = p->Next)
        if (p->Used > 0) stream.WriteBuffer(PieceData(p), static_cast<int32_t>(p->Used));
}

std::string TBlob::AsString() {
    std::string value(GetSize(), '\0');
    if (!value.empty()) value.resize(Read(0, static_cast<uint32_t>(value.size()), value.data()));
    return value;
}

void TBlob::SetAsString(const std::string& value) {
    Clear();
    if (!value.empty()) Write(0, static_cast<uint32_t>(value.size()), value.data());
}

void TBlob::Commit() {
    CheckValid();
    ReleaseObject(rollback_);
    rollback_ = nullptr;
    cached_ = false;
}

TBlob* TBlob::CopyOriginal() {
    CheckValid();
    const TBlob* source = rollback_ ? rollback_ : this;
    TBlob* copy = NewShared<TBlob>();
    copy->PieceSize = PieceSize;
    for (PPieceHeader p = source->first_; p; p = p->Next) {
        if (p->Used == 0) continue;
        PPieceHeader piece = copy->AllocPiece(p->Used);
        std::memcpy(PieceData(piece), PieceData(p), p->Used);
        piece->Used = p->Used;
        copy->AppendPiece(piece);
    }
    return copy;
}

void TBlob::Cancel() {
    CheckValid();
    if (rollback_) {
        std::swap(first_, rollback_->first_);
        SetOwner(first_, this);
        SetOwner(rollback_->first_, rollback_);
        ReleaseObject(rollback_);
        rollback_ = nullptr;
    }
    cached_ = false;
}

}  // namespace oracle
