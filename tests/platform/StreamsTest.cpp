#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "platform/Streams.h"
#include "platform/TextFile.h"

using namespace platform;

namespace {

AnsiString TempPath(const char* name) {
    char dir[MAX_PATH];
    GetTempPathA(MAX_PATH, dir);
    return AnsiString(dir) + "setrix_streams_" + std::to_string(GetCurrentProcessId()) + "_" + name;
}

}  // namespace

TEST(StreamsTest, MemoryStreamWritesReadsSeeksAndGrows) {
    TMemoryStream s;
    s.WriteBuffer("hello", 5);
    EXPECT_EQ(s.Position(), 5);
    EXPECT_EQ(s.Size(), 5);
    s.Reposition(-2, soEnd);
    char two[2];
    s.ReadBuffer(two, 2);
    EXPECT_EQ(std::string(two, 2), "lo");
    EXPECT_THROW(s.ReadBuffer(two, 1), EReadError);  // at the end
    EXPECT_EQ(s.StreamRead(two, 2), 0);

    // Writing past the end fills the gap with zeros.
    s.SetPosition(8);
    s.WriteBuffer("!", 1);
    EXPECT_EQ(s.Size(), 9);
    EXPECT_EQ(std::string(s.Memory(), 9), std::string("hello\0\0\0!", 9));
    s.SetSize(3);
    EXPECT_EQ(s.Position(), 3);
    EXPECT_EQ(std::string(s.Memory(), 3), "hel");
    s.Clear();
    EXPECT_EQ(s.Size(), 0);
}

TEST(StreamsTest, FileStreamRoundTripsAndReportsOpenFailures) {
    const AnsiString path = TempPath("round.bin");
    {
        TFileStream out(path, fmCreate);
        TMemoryStream source;
        source.WriteBuffer("0123456789", 10);
        EXPECT_EQ(out.CopyFrom(source, 0), 10);
    }
    {
        TFileStream in(path, fmOpenRead | fmShareDenyWrite);
        EXPECT_EQ(in.Size(), 10);
        in.Reposition(3, soBeginning);
        char buf[4] = {};
        in.ReadBuffer(buf, 3);
        EXPECT_EQ(std::string(buf), "345");
        EXPECT_EQ(in.StreamWrite("x", 1), 0);  // opened for reading only
    }
    {
        TFileStream rw(path, fmOpenReadWrite);
        rw.SetSize(4);
        EXPECT_EQ(rw.Size(), 4);
    }
    TMemoryStream back;
    back.LoadFromFile(path);
    EXPECT_EQ(std::string(back.Memory(), static_cast<size_t>(back.Size())), "0123");
    DeleteFileA(path.c_str());

    EXPECT_THROW(TFileStream(path, fmOpenRead), EFOpenError);
    EXPECT_THROW(TFileStream(TempPath("no\\such\\dir\\f.bin"), fmCreate), EFCreateError);
}

TEST(StreamsTest, MissingResourceRaisesAndResourceStreamsRefuseWrites) {
    EXPECT_THROW(TResourceStream(GetModuleHandleA(nullptr), "NO_SUCH_RESOURCE"), EResNotFound);
}
