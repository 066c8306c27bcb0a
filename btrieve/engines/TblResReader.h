// TTblResReader: reads a table-definition resource (RCDATA named after the ";RES:" part
// of a table name) into a cursor's field cache, in place of the FIELD.DDF dictionary.
// The resources are made by a separate resource compiler; only the reader is here.
#pragma once

#include "btrieve/base/BaseTable.h"

namespace btrieve {

class TTblResBase {
public:
    static constexpr const char* Version = "0002";
    static constexpr const char* EndMarker = "ABCD";
};

class TTblResReader : public TTblResBase {
public:
    explicit TTblResReader(TBaseTable& cursor) : cursor_(cursor) {}

    // True when the resource was found and read to its end marker; the cursor's field
    // cache then holds one item per field record. A resource of the old format, or one
    // that ends before its marker, reads as false.
    bool Read(const AnsiString& name);

private:
    TBaseTable& cursor_;
};

}  // namespace btrieve
