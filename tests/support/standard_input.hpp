// Standard input set aside for a test that closes descriptor 0 or puts a
// file of its own there, and put back once the test is done with it.
#pragma once

#include <unistd.h>

namespace testing_support {

class StandardInputAside {
public:
    StandardInputAside() : saved_(::dup(0)) {}
    ~StandardInputAside() { restore(); }
    StandardInputAside(const StandardInputAside&) = delete;
    StandardInputAside& operator=(const StandardInputAside&) = delete;

    bool held() const { return saved_ >= 0; }
    void restore()
    {
        if (saved_ < 0)
            return;
        ::dup2(saved_, 0);
        ::close(saved_);
        saved_ = -1;
    }

private:
    int saved_;
};

}  // namespace testing_support
