// The blob text form: binary and graphic blob values kept inside fixed-length string
// fields as "###" followed by Base64, where a group repeating the group written before
// it is written as "!". Used by the Btrieve cursors' blob fields.
#pragma once

#include <cstdint>

#include "platform/Streams.h"

namespace btrieve {

// Writes the text form of all bytes of the source into the destination, from its start.
void EncodeBlobText(platform::TStream& source, platform::TMemoryStream& destination);
// Writes the bytes of a text form; a text without the marker raises 0x2F05.
void DecodeBlobText(platform::TMemoryStream& source, platform::TMemoryStream& destination);

// One Base64 character of a 6-bit value and back; anything else raises EConvertError.
char MapByteBase64(uint8_t value);
uint8_t MapBase64toByte(char character);

}  // namespace btrieve
