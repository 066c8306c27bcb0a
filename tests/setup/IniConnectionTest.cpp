#include <gtest/gtest.h>

#include "SetrixLibrary.h"

namespace {

// 20 comma-separated fields: f1..f20, with user, password and server at 7, 8 and 19.
const char* const kTwentyFields = "f1,f2,f3,f4,f5,f6,user7,pass8,f9,f10,f11,f12,f13,f14,f15,f16,f17,f18,srv19,f20";

class IniConnection : public ::testing::Test {
protected:
    void TearDown() override { RemoveTree(dir); }

    std::string WithFile(const std::string& text) {
        const std::string path = dir + "orvel.ini";
        WriteFileBytes(path, text);
        return path;
    }

    SetrixLibrary dll;
    std::string dir = TempDirectory();
    decltype(dll.Fn<const char*(const char*)>("")) user = dll.Fn<const char*(const char*)>("GetIniDBUser");
    decltype(user) password = dll.Fn<const char*(const char*)>("GetIniDBPassword");
    decltype(user) server = dll.Fn<const char*(const char*)>("GetIniDBServer");
};

}  // namespace

TEST_F(IniConnection, ReadsFieldsOfTheOderValue) {
    struct Case {
        const char* name;
        std::string text;
        const char* user;
        const char* password;
        const char* server;
    } cases[] = {
        {"plain", std::string("[DB]\r\nODER=") + kTwentyFields + "\r\n", "USER7", "PASS8", "SRV19"},
        {"blanks and case", "  oder = a, b ,c,d,e,f,  Scott , tiger ,i,j,k,l,m,n,o,p,q,r, orcl ,t\r\n", "SCOTT",
         "TIGER", "ORCL"},
        {"continued with plus", "ODER=f1,f2,f3,f4,f5,f6,us+\r\n  er7,pa+\r\n\r\nss8,f9,f10,f11,f12,f13,f14,f15,"
                                "f16,f17,f18,srv19,f20\r\n",
         "USER7", "PASS8", "SRV19"},
        {"continued without plus", "ODER=f1,f2,f3,f4,f5,f6,user7,\r\npass8,f9,f10,f11,f12,f13,f14,f15,f16,f17,"
                                   "f18,srv\r\n19,f20\r\n[MAGIC_PRINTERS]\r\nignored,,,,,,,,,,,,,,,,,,,,,\r\n",
         "USER7", "PASS8", "SRV19"},
        {"section end before the value", "[magic_printers]\r\nODER=" + std::string(kTwentyFields) + "\r\n", "", "",
         ""},
        // The text after the last comma is never a field.
        {"exactly nineteen fields", "ODER=f1,f2,f3,f4,f5,f6,u,p,f9,f10,f11,f12,f13,f14,f15,f16,f17,f18,srv19\r\n",
         "U", "P", ""},
        {"no value", "[DB]\r\nOTHER=1\r\n", "", "", ""},
        {"cyrillic password upper-cased", "ODER=1,2,3,4,5,6,u,\xEF\xE0\xF0\xEE\xEB\xFC,9\r\n", "U",
         "\xCF\xC0\xD0\xCE\xCB\xDC", ""},
    };
    for (const Case& c : cases) {
        const std::string path = WithFile(c.text);
        EXPECT_STREQ(user(path.c_str()), c.user) << c.name;
        EXPECT_STREQ(password(path.c_str()), c.password) << c.name;
        EXPECT_STREQ(server(path.c_str()), c.server) << c.name;
    }
}

TEST_F(IniConnection, UnreadableFileGivesEmptyText) {
    EXPECT_STREQ(user((dir + "missing.ini").c_str()), "");
    EXPECT_STREQ(server(dir.c_str()), "");
    EXPECT_STREQ(password(nullptr), "");
}
