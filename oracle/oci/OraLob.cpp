#include "oracle/oci/OraLob.h"

#include <algorithm>
#include <vector>

#include "oracle/oci/OCIConnection.h"
#include "oracle/oci/OciLoader.h"
#include "platform/Streams.h"

namespace oracle {

namespace {

// The client answers this for a file locator whose directory alias or file is missing.
constexpr int32_t NonExistentFileError = 22285;
// Longest directory alias and file name a file locator carries.
constexpr oci::ub2 MaxDirectoryAlias = 30;
constexpr oci::ub2 MaxFileName = 255;

OCIEnv* Environment() { return OciClient().Environment; }
OCIError* ErrorHandle() { return OciClient().ErrorHandle; }

}  // namespace

// --- TOraLob -----------------------------------------------------------------------------

TOraLob::TOraLob(oci::OCISvcCtx* svcCtx) : svcCtx_(svcCtx) {}

TOraLob::~TOraLob() {
    try {
        TOraLob::FreeLob();
    } catch (...) {
        // The descriptor is gone with the client; nothing to report from a destructor.
    }
}

void TOraLob::AllocDescriptor(oci::ub4 descriptorType) {
    if (!OciClient().EnvironmentReady) EnsureOCIInit();
    CheckStatus(Oci.OCIDescriptorAlloc(Environment(), reinterpret_cast<void**>(&locator_), descriptorType, 0, nullptr));
    owned_ = true;
}

void TOraLob::FreeDescriptor(oci::ub4 descriptorType) {
    if (locator_ && owned_) Oci.OCIDescriptorFree(locator_, descriptorType);
    locator_ = nullptr;
    owned_ = false;
}

void TOraLob::AllocLob() {
    if (locator_) return;
    AllocDescriptor(OCI_DTYPE_LOB);
    // The new locator denotes an empty LOB, so it can be bound and written at once.
    oci::ub4 empty = 0;
    CheckStatus(Oci.OCIAttrSet(locator_, OCI_DTYPE_LOB, &empty, 0, OCI_ATTR_LOBEMPTY, ErrorHandle()));
}

void TOraLob::FreeLob() { FreeDescriptor(OCI_DTYPE_LOB); }

void TOraLob::SetLocator(oci::OCILobLocator* locator) {
    FreeLob();
    locator_ = locator;
    owned_ = false;
}

oci::OCILobLocator* TOraLob::Locator() {
    AllocLob();
    return locator_;
}

oci::OCILobLocator** TOraLob::LocatorPtr() {
    AllocLob();
    return &locator_;
}

void TOraLob::CheckAlloc() const {
    if (!locator_) throw platform::Exception("Lob is not allocated");
}

void TOraLob::CheckSvcCtx() const {
    if (!svcCtx_) throw platform::Exception("OCISvcCtx is not defined");
}

void TOraLob::CheckInit() {
    if (!IsInit()) throw platform::Exception("Lob locator should be inited");
}

bool TOraLob::IsInit() {
    CheckAlloc();
    oci::boolean flag = 0;
    CheckStatus(Oci.OCILobLocatorIsInit(Environment(), ErrorHandle(), locator_, &flag));
    return flag != 0;
}

uint32_t TOraLob::GetLength() {
    CheckAlloc();
    CheckSvcCtx();
    if (!IsInit()) return 0;
    oci::ub4 length = 0;
    CheckStatus(Oci.OCILobGetLength(svcCtx_, ErrorHandle(), locator_, &length));
    return length;
}

void TOraLob::ReadLob() {
    CheckAlloc();
    CheckSvcCtx();
    if (ServerData) {
        // The pieces do not hold the value yet: nothing of them belongs in a rollback copy.
        while (FirstPiece()) FreePiece(FirstPiece());
    } else {
        Clear();
    }
    if (IsInit()) {
        uint32_t remaining = GetLength();
        oci::ub4 offset = 1;
        while (remaining > 0) {
            const uint32_t n = std::min(PieceSize, remaining);
            PPieceHeader piece = AllocPiece(n);
            oci::ub4 amount = n;
            try {
                CheckStatus(Oci.OCILobRead(svcCtx_, ErrorHandle(), locator_, &amount, offset, PieceData(piece), n,
                                           nullptr, nullptr, 0, 0));
            } catch (...) {
                FreePiece(piece);
                throw;
            }
            if (amount == 0) {
                FreePiece(piece);
                break;
            }
            piece->Used = amount;
            AppendPiece(piece);
            remaining -= std::min(remaining, amount);
            offset += amount;
        }
    }
    ServerData = false;
}

void TOraLob::WriteLob() {
    CheckAlloc();
    CheckSvcCtx();
    CheckInit();
    CheckStatus(Oci.OCILobTrim(svcCtx_, ErrorHandle(), locator_, 0));
    oci::ub4 offset = 1;
    for (PPieceHeader piece = FirstPiece(); piece; piece = piece->Next) {
        if (piece->Used == 0) continue;
        oci::ub4 amount = piece->Used;
        CheckStatus(Oci.OCILobWrite(svcCtx_, ErrorHandle(), locator_, &amount, offset, PieceData(piece), piece->Used,
                                    OCI_ONE_PIECE, nullptr, nullptr, 0, 0));
        offset += amount;
    }
}

void TOraLob::CheckValue() {
    if (ServerData) ReadLob();
}

uint32_t TOraLob::GetSize() {
    if (ServerData) return GetLength();
    return TBlob::GetSize();
}

uint32_t TOraLob::Read(uint32_t position, uint32_t count, void* dest) {
    if (caching_) return TBlob::Read(position, count, dest);
    CheckAlloc();
    CheckSvcCtx();
    if (!IsInit()) return 0;
    oci::ub4 amount = count;
    CheckStatus(
        Oci.OCILobRead(svcCtx_, ErrorHandle(), locator_, &amount, position + 1, dest, count, nullptr, nullptr, 0, 0));
    return amount;
}

void TOraLob::Write(uint32_t position, uint32_t count, const void* source) {
    if (caching_) {
        // A value still on the server is read first, so the write lands inside it and the
        // rollback copy of the edit holds it.
        CheckValue();
        TBlob::Write(position, count, source);
        return;
    }
    CheckAlloc();
    CheckSvcCtx();
    CheckInit();
    oci::ub4 amount = count;
    CheckStatus(Oci.OCILobWrite(svcCtx_, ErrorHandle(), locator_, &amount, position + 1, const_cast<void*>(source),
                                count, OCI_ONE_PIECE, nullptr, nullptr, 0, 0));
}

void TOraLob::LoadFromStream(platform::TStream& stream) {
    if (caching_) {
        TBlob::LoadFromStream(stream);  // its Clear reads a value still on the server first
        return;
    }
    CheckAlloc();
    CheckSvcCtx();
    if (!IsInit()) return;
    std::vector<uint8_t> buffer(PieceSize);
    stream.SetPosition(0);
    const int64_t size = stream.Size();
    uint32_t written = 0;
    while (written < size) {
        const int32_t chunk = static_cast<int32_t>(std::min<int64_t>(PieceSize, size - written));
        const int32_t read = stream.StreamRead(buffer.data(), chunk);
        if (read <= 0) break;
        Write(written, static_cast<uint32_t>(read), buffer.data());
        written += static_cast<uint32_t>(read);
    }
    // The stream is the whole new value: a longer old value must not keep its tail.
    CheckStatus(Oci.OCILobTrim(svcCtx_, ErrorHandle(), locator_, written));
}

void TOraLob::SaveToStream(platform::TStream& stream) {
    if (caching_) {
        TBlob::SaveToStream(stream);
        return;
    }
    CheckAlloc();
    CheckSvcCtx();
    if (!IsInit()) return;
    // As for cached values, the stream receives the value in place of its content.
    stream.SetSize(0);
    std::vector<uint8_t> buffer(PieceSize);
    const uint32_t length = GetLength();
    uint32_t done = 0;
    while (done < length) {
        const uint32_t read = Read(done, std::min(PieceSize, length - done), buffer.data());
        if (read == 0) break;
        stream.WriteBuffer(buffer.data(), static_cast<int32_t>(read));
        done += read;
    }
}

void TOraLob::SetCached(bool value) {
    if (value == caching_) return;
    if (!value && FirstPiece()) throw platform::Exception("Cannot disable lob caching. Lob is not empty.");
    caching_ = value;
}

// --- TOraFile ----------------------------------------------------------------------------

TOraFile::~TOraFile() {
    try {
        TOraFile::FreeLob();
    } catch (...) {
        // As for LOBs: nothing to report from a destructor.
    }
}

void TOraFile::AllocLob() {
    if (locator_) return;
    AllocDescriptor(OCI_DTYPE_FILE);
}

void TOraFile::FreeLob() { FreeDescriptor(OCI_DTYPE_FILE); }

void TOraFile::Open() {
    CheckAlloc();
    CheckSvcCtx();
    if (IsInit()) CheckStatus(Oci.OCILobFileOpen(svcCtx_, ErrorHandle(), locator_, OCI_FILE_READONLY));
}

void TOraFile::Close() {
    CheckAlloc();
    CheckSvcCtx();
    if (IsInit()) CheckStatus(Oci.OCILobFileClose(svcCtx_, ErrorHandle(), locator_));
}

bool TOraFile::Exists() {
    if (!locator_ || !IsInit()) return false;
    CheckSvcCtx();
    if (FileName().empty()) return false;
    oci::boolean flag = 0;
    const oci::sword status = Oci.OCILobFileExists(svcCtx_, ErrorHandle(), locator_, &flag);
    if (status == OCI_SUCCESS) return flag != 0;
    if (GetOraErrorCode(status) == NonExistentFileError) return false;
    CheckStatus(status);
    return flag != 0;
}

void TOraFile::GetName(std::string* directory, std::string* fileName) {
    if (!locator_ || !IsInit()) return;
    // Buffers for the longest names a locator can carry, so long file names stay whole.
    oci::OraText directoryText[MaxDirectoryAlias + 1];
    oci::OraText fileText[MaxFileName + 1];
    oci::ub2 directoryLength = MaxDirectoryAlias;
    oci::ub2 fileLength = MaxFileName;
    CheckStatus(Oci.OCILobFileGetName(Environment(), ErrorHandle(), locator_, directoryText, &directoryLength,
                                      fileText, &fileLength));
    if (directory) directory->assign(reinterpret_cast<char*>(directoryText), std::min(directoryLength, MaxDirectoryAlias));
    if (fileName) fileName->assign(reinterpret_cast<char*>(fileText), std::min(fileLength, MaxFileName));
}

std::string TOraFile::FileDir() {
    std::string directory;
    GetName(&directory, nullptr);
    return directory;
}

std::string TOraFile::FileName() {
    std::string fileName;
    GetName(nullptr, &fileName);
    return fileName;
}

uint32_t TOraFile::GetSize() {
    if (ServerData) {
        if (!Exists()) return 0;
        CheckValue();
    }
    return TBlob::GetSize();
}

void TOraFile::CheckValue() {
    if (!ServerData || !Exists()) return;
    Open();
    try {
        ReadLob();
    } catch (...) {
        Close();
        throw;
    }
    Close();
}

}  // namespace oracle
