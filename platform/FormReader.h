// Reading a root component (a form) and the components it owns from a form
// description: a text, usually embedded in the program as an RCDATA resource.
// Used by the configuration export tool, whose main form declares its database,
// tables and persistent fields this way, and by the directory chooser.
//
// The description, line by line (code page 1251):
//   # a comment; blank lines are ignored
//   Form1: TForm1                  first header: the root's name and class
//     Width = 104                  indented: a property of the component above
//   DB: TQbDatabase                later headers: components the root owns, created
//     AliasName = 'BTI_edit'       by class name through the class registry
//   Table1ID: TFloatField
//     DataSet = Table1             a component property names a component
//     FieldName = 'ID '#253'...'   texts: single quotes ('' for one) and #code characters
//   Query1: TSomeQuery
//     Options.Charset = 'CL8'      a property of an object the component holds
//     SQL = (                      the lines of a string list, each a text; they reach
//       'select *'                 the property as one text joined by CR LF
//       'from t')
//     ParamData = <                the items of a collection, each with its properties
//       item                       (a published collection property, or a collection
//         Name = 'ID'              the component declares as a streamed value)
//       end>
//     MacroData = {01 0A FF}       a binary block, two hexadecimal digits a byte, for a
//                                  streamed value the component declares
// Values: 'text', whole numbers (decimal, or $hex), decimals with a full stop,
// True/False, and names (enumeration values, or components for component
// properties). A set is written [name, name] and reaches its property as that text.
// Lists, collections and binary blocks may span lines; the rest of a value does not.
//
// While reading, the root and each new component carry csLoading and csReading;
// a reference to a component declared further down is set once that component
// exists. At the end every component, the root first, gets StreamingCompleted.
#pragma once

#include <windows.h>

#include "Classes.h"
#include "Streams.h"

namespace platform {

// A description that cannot be read; the message names the line and, for property
// failures, the component and property.
class EFormReadError : public EReadError { using EReadError::EReadError; };

void ReadComponentText(TComponent& root, const AnsiString& description);
// The RCDATA resource of `module` named `resourceName` (by default the root's class
// name, upper-cased).
void ReadComponentResource(TComponent& root, HMODULE module, const AnsiString& resourceName = "");

}  // namespace platform
