// A readable description of tables (fields, keys, index names, records) for the fixture
// tool, and the encoding of record values by Btrieve data type. Text is UTF-8; names and
// string values are stored in code page 1251.
//
// Lines (tokens separated by blanks; "..." quotes a token; # starts a comment):
//   table <name> <location> [id=N] [length=N] [pagesize=N] [variable] [owner=NAME]
//   field <name> <type> <size> [dec=N] [at=N]      type: a name below or a type number
//   key <field>[+<field>...] [dup] [mod] [desc] [nocase] [null=N] [nullany]
//   indexname <key number> <name>
//   row <value> ...                                 one value per field, in field order
// Types: string integer float date time decimal money logical numeric bfloat lstring
// zstring unsigned autoinc bit numericsts currency timestamp. Values: numbers, text,
// true/false, dates yyyy-mm-dd, times hh:mm:ss[.cc]; "null" gives zero bytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/SysUtils.h"
#include "standins/btrieve/KeyCollation.h"

namespace wbtrv {

class EFixtureError : public platform::Exception {
public:
    using platform::Exception::Exception;
};

struct FixtureField {
    std::string name;  // code page 1251
    uint8_t type = 0;
    uint16_t size = 0;
    uint8_t decimals = 0;
    uint16_t offset = 0;
};

struct FixtureKey {
    std::vector<size_t> fields;  // indexes into the table's fields
    uint16_t flags = 0;
    uint8_t nullValue = 0;
};

struct FixtureTable {
    std::string name;      // code page 1251
    std::string location;  // as stored in Xf$Loc
    uint16_t id = 0;
    uint16_t recordLength = 0;
    uint16_t pageSize = 4096;
    bool variable = false;
    bool system = false;
    std::string owner;  // set on the data file when not empty (needed for any access)
    std::vector<FixtureField> fields;
    std::vector<FixtureKey> keys;
    std::vector<std::pair<uint16_t, std::string>> indexNames;
    std::vector<Bytes> rows;

    // The Create buffer of the table's data file.
    Bytes FileSpecification() const;
};

// Parses a description; raises EFixtureError with the line number on a mistake.
std::vector<FixtureTable> ParseFixtureDescription(const std::string& text);

// The bytes of one value of a field.
Bytes EncodeFieldValue(const FixtureField& field, const std::string& value);

// UTF-8 text to code page 1251.
std::string ToCodePage1251(const std::string& utf8);

}  // namespace wbtrv
