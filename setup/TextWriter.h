// TTextWriter: line output to a text file over a Win32 handle, for the exports that
// append to files or write a checked copy of a log.
#pragma once

#include "platform/TextFile.h"

namespace setrix {

class TTextWriter {
public:
    enum class TMode {
        Create,  // a new, empty file (an existing one is emptied)
        Append   // written after the end of the file, which is created when missing
    };
    // Raises EInOutError when the file cannot be opened.
    TTextWriter(const platform::AnsiString& path, TMode mode);

    // Writes the text and CR LF; raises EInOutError when the write fails.
    void WriteLine(const platform::AnsiString& text);
    // Closes the file; later writes fail.
    void Close() { file_.Reset(); }

private:
    void Write(const char* data, size_t length);

    platform::AnsiString path_;
    platform::THandleOwner file_;
};

}  // namespace setrix
