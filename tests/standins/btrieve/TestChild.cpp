// A second process for the record manager's tests: holds a record lock, or keeps writing
// until the test kills it.
//   wbtrv_test_child lock <file> <position> <ready event> <release event>
//   wbtrv_test_child transaction <file> <ready event>   (inserts inside a transaction forever)
//   wbtrv_test_child update <file> <ready event>        (rewrites every record forever)
//   wbtrv_test_child insert <file> <id>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/standins/btrieve/BtrieveTestClient.h"

using namespace btrieve;
using namespace btrtest;

namespace {

void Signal(const char* name) {
    HANDLE event = OpenEventA(EVENT_MODIFY_STATE, FALSE, name);
    if (event) {
        SetEvent(event);
        CloseHandle(event);
    }
}

// A record that shows whether it was written whole: id, a counter, and 100 copies of the
// counter's low byte.
Bytes Stamped(int32_t id, int32_t counter) {
    Bytes r(108, static_cast<uint8_t>(counter));
    std::memcpy(r.data(), &id, 4);
    std::memcpy(r.data() + 4, &counter, 4);
    return r;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return 2;
    const std::string command = argv[1];
    BtrFile f;
    if (f.Open(argv[2])) return 3;
    if (command == "lock" && argc == 6) {
        if (f.GetDirect(static_cast<uint32_t>(std::atoi(argv[3])), 0, kSingleNoWaitLockBias)) return 4;
        Signal(argv[4]);
        HANDLE release = OpenEventA(SYNCHRONIZE, FALSE, argv[5]);
        if (release) WaitForSingleObject(release, 20000);
        return 0;
    }
    if (command == "transaction" && argc == 4) {
        if (f.Simple(OpBeginTransaction)) return 4;
        for (int32_t i = 1;; ++i) {
            if (f.Insert(Stamped(100000 + i, i))) return 5;
            if (i == 50) Signal(argv[3]);
        }
    }
    if (command == "update" && argc == 4) {
        for (int32_t counter = 1;; ++counter) {
            for (int16_t s = f.Get(OpGetFirst, 0); s == 0; s = f.Get(OpGetNext, 0)) {
                int32_t id;
                std::memcpy(&id, f.lastRecord.data(), 4);
                if (f.Update(Stamped(id, counter))) return 5;
            }
            if (counter == 2) Signal(argv[3]);
        }
    }
    if (command == "insert" && argc == 4) return f.Insert(Stamped(std::atoi(argv[3]), 1)) ? 5 : 0;
    return 2;
}
