#include "tests/setup/setup_test_support.h"

#include "platform/text.h"

namespace lyb::test {

std::string Utf16Le(const std::string& utf8) {
    std::string out;
    for (char16_t u : Utf8ToUtf16(utf8)) {
        out.push_back(static_cast<char>(u & 0xFF));
        out.push_back(static_cast<char>(u >> 8));
    }
    return out;
}

} // namespace lyb::test
