#include "setup/TextWriter.h"

namespace setrix {

using platform::AnsiString;

namespace {

[[noreturn]] void Fail(const char* what, const AnsiString& path) {
    const DWORD err = GetLastError();
    throw platform::EInOutError(AnsiString(what) + " \"" + path + "\" (error " + platform::IntToStr(err) + ")", err);
}

}  // namespace

TTextWriter::TTextWriter(const AnsiString& path, TMode mode) : path_(path) {
    const bool append = mode == TMode::Append;
    // Readers may share the file while it is written; nobody may delete it meanwhile.
    file_.Reset(CreateFileA(path.c_str(), append ? FILE_APPEND_DATA : GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                            append ? OPEN_ALWAYS : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file_.Valid()) Fail("Cannot open file", path);
}

void TTextWriter::Write(const char* data, size_t length) {
    DWORD written = 0;
    if (!file_.Valid() || !WriteFile(file_.Get(), data, static_cast<DWORD>(length), &written, nullptr) ||
        written != length)
        Fail("Cannot write file", path_);
}

void TTextWriter::WriteLine(const AnsiString& text) {
    AnsiString line = text;
    line += "\r\n";
    Write(line.data(), line.size());
}

}  // namespace setrix
