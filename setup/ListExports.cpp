// The list exports: line lists in, a sorted or picked list text out.
#include "platform/StringList.h"
#include "setup/ExportBoundary.h"
#include "setup/Exports.h"

using platform::TStringList;
using namespace setrix;

namespace {

// A list that keeps case-insensitive locale order and drops lines equal ignoring case.
AnsiString SortedUnique(const AnsiString& text, const AnsiString* extraLine) {
    TStringList list;
    list.SetSortedFlag(true);
    list.AssignText(text);
    if (extraLine) list.Add(*extraLine);
    return list.JoinedText();
}

}  // namespace

const char* AddToList(const char* list, const char* item) {
    return Guarded<const char*>("", [&] {
        const AnsiString text = Arg(list), line = Arg(item);
        return ReturnText(SortedUnique(text, &line));
    });
}

const char* GetEntry(const char* list, int lineNumber) {
    return Guarded<const char*>("", [&] {
        TStringList lines;
        lines.AssignText(Arg(list));
        if (lineNumber < 1 || lineNumber > lines.Count()) return ReturnText("");
        return ReturnText(lines[lineNumber - 1]);
    });
}

const char* JoinLists(const char* first, const char* second) {
    return Guarded<const char*>("", [&] {
        const AnsiString a = Arg(first), b = Arg(second);
        if (a.empty() && b.empty()) return ReturnText("");
        const AnsiString joined = b.empty() ? a : a.empty() ? b : a + "\r\n" + b;
        return ReturnText(SortedUnique(joined, nullptr));
    });
}

void EmptyProc() {}
