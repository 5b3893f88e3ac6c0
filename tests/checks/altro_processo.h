#pragma once

#include <string>

#include <sys/types.h>

namespace korva::test {

// Another process that holds a Paradox table open (shared) until the object goes.
class AltroProcesso {
public:
    AltroProcesso(const std::string& dir, const std::string& tabella);
    ~AltroProcesso();
    AltroProcesso(const AltroProcesso&) = delete;
    AltroProcesso& operator=(const AltroProcesso&) = delete;

private:
    pid_t pid_ = -1;
};

}  // namespace korva::test
