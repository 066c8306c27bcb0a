// DES (FIPS 46) with one module-wide key, DES-CBC with a zero initialisation vector (also
// as a MAC), a hexadecimal codec and the DES-based password hash of user name and
// password. A public facility of the Oracle library; the key is not guarded, so callers
// use it from one thread at a time.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace oracle {

using TBytes = std::vector<uint8_t>;

// Builds the encryption and decryption schedules of the module key from 8 key bytes
// (their lowest, parity bits are ignored).
void DesSetKey(const TBytes& key);
// Encrypts the first 8 bytes of the block in place, n times, with the module key.
void DesEncryptBlock(TBytes& block, int times);
// Decrypts the first 8 bytes in place, n times, with a schedule of the given key; the
// module key is not touched.
void DesDecryptBlock(const TBytes& key, TBytes& block, int times);
// CBC over the whole blocks of data with the module key and a zero IV. Without mac: the
// data's length, whole blocks holding the cipher text, a trailing partial block zero.
// With mac: the 8-byte final chaining value.
TBytes DesCbc(const TBytes& data, bool mac);
TBytes EncryptBytes(const TBytes& key, const TBytes& data);
// HexToBytes of the text with its first block decrypted.
TBytes DecryptHexBlock(const TBytes& key, const std::string& hexText);
// 8 bytes from user name and password (letters a-z count as upper case); leaves the
// module key set to the intermediate key.
TBytes OraPasswordHash(const std::string& userName, const std::string& password);

// Two upper-case hex digits per byte.
std::string BytesToHex(const TBytes& bytes);
// length/2 bytes, high digit first; an odd last digit is ignored; a character that is no
// hex digit raises EConvertError.
TBytes HexToBytes(const std::string& text);
char NibbleToHex(uint8_t value);
// 0-15 for hex digits; any other character answers its own code.
int HexDigitValue(char c);
// Copies count bytes, cut so that neither array is overrun; negative arguments copy nothing.
void CopyBytes(const TBytes& source, int sourceOffset, TBytes& target, int targetOffset, int count);

}  // namespace oracle
