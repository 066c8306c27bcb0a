// The Btrieve exports' own field objects for a table: one per field definition, in the
// definitions' order, of the class the definition's type asks for, owned by the table.
#pragma once

namespace platform {
class TDataSet;
}

namespace setrix {

// Replaces the table's fields by new field objects and records the definitions in the
// module's field-description array. The table is opened once to read its definitions and
// left closed. A failure after the definitions were read is swallowed: the table keeps the
// fields made so far.
void CreatePersistentFields(platform::TDataSet& table);

}  // namespace setrix
