#include "btrieve/engines/BlobText.h"

#include <cstring>

#include "btrieve/base/EngineErrors.h"

namespace btrieve {

namespace {

constexpr uint16_t kBlobOfOtherVersion = 0x2F05;
const char kMarker[] = "###";

}  // namespace

char MapByteBase64(uint8_t value) {
    if (value < 26) return static_cast<char>('A' + value);
    if (value < 52) return static_cast<char>('a' + value - 26);
    if (value < 62) return static_cast<char>('0' + value - 52);
    if (value == 62) return '+';
    if (value == 63) return '/';
    throw platform::EConvertError(AnsiString("MapByteBase64 - Unexpected value: ") + static_cast<char>(value));
}

uint8_t MapBase64toByte(char c) {
    if (c >= 'A' && c <= 'Z') return static_cast<uint8_t>(c - 'A');
    if (c >= 'a' && c <= 'z') return static_cast<uint8_t>(c - 'a' + 26);
    if (c >= '0' && c <= '9') return static_cast<uint8_t>(c - '0' + 52);
    if (c == '+') return 62;
    if (c == '/') return 63;
    if (c == '=' || c == '!') return 0;
    throw platform::EConvertError(AnsiString("MapBase64toByte - Unexpected value: ") + c);
}

void EncodeBlobText(platform::TStream& source, platform::TMemoryStream& destination) {
    destination.SetPosition(0);
    destination.WriteBuffer(kMarker, 3);
    char last[4] = {'=', '=', '=', '='};
    source.SetPosition(0);
    for (;;) {
        uint8_t bytes[3] = {};
        const int32_t count = source.StreamRead(bytes, 3);
        if (count <= 0) break;
        const uint32_t bits = (bytes[0] << 16) | (bytes[1] << 8) | bytes[2];
        char group[4] = {MapByteBase64((bits >> 18) & 63), MapByteBase64((bits >> 12) & 63),
                         MapByteBase64((bits >> 6) & 63), MapByteBase64(bits & 63)};
        if (count < 3) group[3] = '=';
        if (count < 2) group[2] = '=';
        if (count == 3 && std::memcmp(group, last, 4) == 0) {
            destination.WriteBuffer("!", 1);
        } else {
            destination.WriteBuffer(group, 4);
            std::memcpy(last, group, 4);
        }
        if (count < 3) break;
    }
}

void DecodeBlobText(platform::TMemoryStream& source, platform::TMemoryStream& destination) {
    source.SetPosition(0);
    destination.SetPosition(0);
    char marker[3] = {};
    if (source.StreamRead(marker, 3) != 3 || std::memcmp(marker, kMarker, 3) != 0)
        RaiseEngineError(kBlobOfOtherVersion);
    uint8_t last[3] = {'=', '=', '='};
    for (;;) {
        char c;
        if (source.StreamRead(&c, 1) != 1) break;
        if (c == '!') {
            destination.WriteBuffer(last, 3);
            continue;
        }
        if (c == '\0') break;  // the terminator of a text taken from a field
        char group[4] = {c, '=', '=', '='};
        // A group cut short by the end of the text carries what it has.
        if (source.StreamRead(group + 1, 3) < 1) break;
        const uint32_t bits = (MapBase64toByte(group[0]) << 18) | (MapBase64toByte(group[1]) << 12) |
                              (MapBase64toByte(group[2]) << 6) | MapBase64toByte(group[3]);
        const uint8_t bytes[3] = {static_cast<uint8_t>(bits >> 16), static_cast<uint8_t>(bits >> 8),
                                  static_cast<uint8_t>(bits)};
        const int count = group[3] != '=' ? 3 : group[2] != '=' ? 2 : 1;
        destination.WriteBuffer(bytes, count);
        std::memcpy(last, bytes, 3);
        if (count < 3) break;
    }
}

}  // namespace btrieve
