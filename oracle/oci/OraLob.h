// Values of BLOB and CLOB columns (TOraLob) and of BFILE and CFILE columns (TOraFile).
// Both are blobs of the record store that also hold a locator of the client and the
// connection's service context: in cached mode (the default) reads and writes work on
// the pieces and ReadLob / WriteLob move the whole value between server and pieces; with
// caching off they go straight to the server. Record sets create one per LOB column and
// row, commands bind them as parameters, object attributes lend them their locator.
// CLOB amounts are counted in characters by the client: the library assumes a
// single-byte client character set, where characters and bytes are the same.
#pragma once

#include <string>

#include "oracle/core/Blob.h"
#include "oracle/oci/OciApi.h"

namespace oracle {

class TOraLob : public TBlob {
public:
    explicit TOraLob(oci::OCISvcCtx* svcCtx = nullptr);

    void CheckValue() override;
    uint32_t GetSize() override;
    uint32_t Read(uint32_t position, uint32_t count, void* dest) override;
    void Write(uint32_t position, uint32_t count, const void* source) override;
    void LoadFromStream(platform::TStream& stream) override;
    void SaveToStream(platform::TStream& stream) override;

    // Allocates an owned locator unless one exists.
    virtual void AllocLob();
    // Frees an owned locator; a lent one is only forgotten.
    virtual void FreeLob();

    void CheckAlloc() const;
    void CheckSvcCtx() const;
    void CheckInit();
    bool IsInit();
    uint32_t GetLength();
    // The server value replaces the pieces.
    void ReadLob();
    // The pieces replace the server value.
    void WriteLob();

    // Whether reads and writes use the pieces (not the rollback mode of the record store's
    // blobs, which TBlob::SetCached switches). Switching off needs an empty value.
    bool Caching() const { return caching_; }
    void SetCached(bool value);

    // The locator, allocated on demand; its address serves as bind and define buffer.
    oci::OCILobLocator* Locator();
    oci::OCILobLocator** LocatorPtr();
    // Uses a locator owned by someone else (an object attribute).
    void SetLocator(oci::OCILobLocator* locator);
    oci::OCISvcCtx* SvcCtx() const { return svcCtx_; }
    void SetSvcCtx(oci::OCISvcCtx* value) { svcCtx_ = value; }

    // The value lives on the server and has not been read into the pieces yet.
    bool ServerData = false;

protected:
    ~TOraLob() override;
    void AllocDescriptor(oci::ub4 descriptorType);
    void FreeDescriptor(oci::ub4 descriptorType);

    oci::OCILobLocator* locator_ = nullptr;
    oci::OCISvcCtx* svcCtx_ = nullptr;
    bool owned_ = false;
    bool caching_ = true;
};

class TOraFile : public TOraLob {
public:
    explicit TOraFile(oci::OCISvcCtx* svcCtx = nullptr) : TOraLob(svcCtx) {}

    void CheckValue() override;
    // A file's length is known only to an open file: the value is read first (0 when the
    // file does not exist).
    uint32_t GetSize() override;
    void AllocLob() override;
    void FreeLob() override;

    // Opens the file read-only on the server.
    void Open();
    void Close();
    // False also when the directory alias or the file does not exist.
    bool Exists();
    std::string FileDir();
    std::string FileName();

protected:
    ~TOraFile() override;

private:
    void GetName(std::string* directory, std::string* fileName);
};

}  // namespace oracle
