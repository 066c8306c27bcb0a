#include <gtest/gtest.h>

#include "oracle/oci/OraDes.h"
#include "platform/SysUtils.h"

namespace oracle {
namespace {

TBytes Hex(const char* text) { return HexToBytes(text); }

struct TBlockCase {
    const char* key;
    const char* plain;
    const char* cipher;
};

// Published single-block known answers of the algorithm.
const TBlockCase KnownAnswers[] = {
    {"133457799BBCDFF1", "0123456789ABCDEF", "85E813540F0AB405"},
    {"0E329232EA6D0D73", "8787878787878787", "0000000000000000"},
    {"0101010101010101", "8000000000000000", "95F8A5E5DD31D900"},
    {"0101010101010101", "0000000000000001", "166B40B44ABA4BD6"},
    {"8001010101010101", "0000000000000000", "95A8D72813DAA94D"},
    {"0123456789ABCDEF", "4E6F772069732074", "3FA40E8A984D4815"},
};

TEST(Des, KnownAnswersEncryptAndDecrypt) {
    for (const TBlockCase& c : KnownAnswers) {
        TBytes block = Hex(c.plain);
        DesSetKey(Hex(c.key));
        DesEncryptBlock(block, 1);
        EXPECT_EQ(BytesToHex(block), c.cipher) << c.key;
        DesDecryptBlock(Hex(c.key), block, 1);
        EXPECT_EQ(BytesToHex(block), c.plain) << c.key;
    }
}

TEST(Des, ParityBitsOfTheKeyAreIgnored) {
    TBytes a = Hex("0123456789ABCDEF"), b = a;
    DesSetKey(Hex("133457799BBCDFF1"));
    DesEncryptBlock(a, 1);
    DesSetKey(Hex("123556789ABDDEF0"));  // the same key with every lowest bit flipped
    DesEncryptBlock(b, 1);
    EXPECT_EQ(a, b);
}

TEST(Des, RepeatedEncryptionAndDecryptionLeaveTheModuleKey) {
    TBytes block = Hex("0123456789ABCDEF");
    DesSetKey(Hex("133457799BBCDFF1"));
    DesEncryptBlock(block, 3);
    DesDecryptBlock(Hex("133457799BBCDFF1"), block, 2);
    EXPECT_EQ(BytesToHex(block), "85E813540F0AB405");
    DesDecryptBlock(Hex("0000000000000000"), block, 1);  // another key, the module key stays
    TBytes again = Hex("0123456789ABCDEF");
    DesEncryptBlock(again, 1);
    EXPECT_EQ(BytesToHex(again), "85E813540F0AB405");
}

TEST(Des, CbcChainsBlocksAndServesAsMac) {
    const TBytes key = Hex("0123456789ABCDEF");
    const TBytes data = Hex("4E6F77206973207468652074696D6520666F7220616C6C20");
    // CBC of the classic three-block message with IV 0: the first block equals ECB.
    const TBytes cipher = EncryptBytes(key, data);
    ASSERT_EQ(cipher.size(), 24u);
    EXPECT_EQ(BytesToHex(TBytes(cipher.begin(), cipher.begin() + 8)), "3FA40E8A984D4815");
    // Each later block is the encryption of the previous cipher block xor the plain block.
    for (size_t block = 1; block < 3; ++block) {
        TBytes chained(8);
        for (size_t i = 0; i < 8; ++i) chained[i] = cipher[8 * (block - 1) + i] ^ data[8 * block + i];
        DesEncryptBlock(chained, 1);
        EXPECT_EQ(chained, TBytes(cipher.begin() + 8 * block, cipher.begin() + 8 * block + 8));
    }
    EXPECT_EQ(DesCbc(data, true), TBytes(cipher.end() - 8, cipher.end()));
    // A trailing partial block stays zero; short data gives a zero MAC.
    TBytes partial = data;
    partial.resize(11);
    EXPECT_EQ(BytesToHex(DesCbc(partial, false)), "3FA40E8A984D4815000000");
    EXPECT_EQ(BytesToHex(DesCbc(Hex("0102"), true)), "0000000000000000");
}

TEST(Des, ShortBlocksAreRefused) {
    TBytes block = Hex("0102");
    EXPECT_THROW(DesEncryptBlock(block, 1), platform::ERangeError);
    EXPECT_THROW(DecryptHexBlock(Hex("0123456789ABCDEF"), "0A0B"), platform::ERangeError);
}

TEST(Des, DecryptHexBlockDecryptsOnlyTheFirstBlock) {
    const TBytes plain = DecryptHexBlock(Hex("133457799BBCDFF1"), "85E813540F0AB405AABB");
    EXPECT_EQ(BytesToHex(plain), "0123456789ABCDEFAABB");
}

// Builds the hash input and the two CBC-MAC passes from the definition.
TBytes ExpectedHash(const TBytes& input) {
    DesSetKey(Hex("5A1C3E7B9D2F4860"));
    const TBytes intermediate = DesCbc(input, true);
    DesSetKey(intermediate);
    return DesCbc(input, true);
}

TEST(OraPasswordHash, FollowsTheTwoPassDefinition) {
    // 3 + 1 characters: 8 bytes, no padding.
    EXPECT_EQ(OraPasswordHash("abc", "d"), ExpectedHash(Hex("0041004200430044")));
    // 3 + 2 characters: 10 bytes padded to 16.
    EXPECT_EQ(OraPasswordHash("abc", "de"), ExpectedHash(Hex("00410042004300440045000000000000")));
    EXPECT_EQ(BytesToHex(OraPasswordHash("", "")), "0000000000000000");
}

TEST(OraPasswordHash, OnlyLatinLettersIgnoreCase) {
    EXPECT_EQ(OraPasswordHash("scott", "tiger"), OraPasswordHash("SCOTT", "TiGeR"));
    EXPECT_NE(OraPasswordHash("scott", "tiger"), OraPasswordHash("scott", "tigers"));
    EXPECT_NE(OraPasswordHash("user", "\xEF\xE0\xF0"), OraPasswordHash("user", "\xCF\xC0\xD0"));  // Cyrillic
}

TEST(OraPasswordHash, LeavesTheIntermediateKeySet) {
    const TBytes input = Hex("0041004200430044");
    OraPasswordHash("abc", "d");
    TBytes block(8, 0);
    DesEncryptBlock(block, 1);
    DesSetKey(Hex("5A1C3E7B9D2F4860"));
    TBytes expected(8, 0);
    DesSetKey(DesCbc(input, true));
    DesEncryptBlock(expected, 1);
    EXPECT_EQ(block, expected);
}

TEST(HexCodec, RoundTripAndRefusals) {
    EXPECT_EQ(HexToBytes("0a1B"), (TBytes{0x0A, 0x1B}));
    EXPECT_EQ(BytesToHex(TBytes{0x0A, 0x1B}), "0A1B");
    EXPECT_EQ(HexToBytes("0a1"), (TBytes{0x0A}));
    EXPECT_EQ(NibbleToHex(0xFC), 'C');
    EXPECT_EQ(HexDigitValue('f'), 15);
    EXPECT_EQ(HexDigitValue('G'), 'G');
    EXPECT_THROW(HexToBytes("G0"), platform::EConvertError);
    EXPECT_THROW(HexToBytes(std::string("\x05" "0", 2)), platform::EConvertError);
}

TEST(CopyBytes, CutsAtBothEnds) {
    const TBytes source{1, 2, 3, 4};
    TBytes target(3, 0);
    CopyBytes(source, 2, target, 0, 10);
    EXPECT_EQ(target, (TBytes{3, 4, 0}));
    CopyBytes(source, 0, target, 2, 10);
    EXPECT_EQ(target, (TBytes{3, 4, 1}));
    CopyBytes(source, -1, target, 0, 2);
    CopyBytes(source, 0, target, 0, -2);
    CopyBytes(source, 9, target, 0, 2);
    EXPECT_EQ(target, (TBytes{3, 4, 1}));
}

}  // namespace
}  // namespace oracle
