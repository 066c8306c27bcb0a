#include "oracle/core/SharedObject.h"

#include "oracle/core/Assertion.h"

namespace oracle {

void TSharedObject::Release() {
    Check(refCount_ > 0, UnitMemData, "Release of a freed object");
    if (refCount_ == 1)
        delete this;
    else
        --refCount_;
}

}  // namespace oracle
