// The ANSI code page off Windows: the locale's multibyte text, each byte
// that does not convert standing for itself.
#include "hostlib/os/host_system.hpp"

#include <gtest/gtest.h>

#include <clocale>
#include <string>

namespace {

// Sets LC_CTYPE for one test and puts the previous one back.
class CtypeLocale {
public:
    explicit CtypeLocale(const char* name) : previous_(std::setlocale(LC_CTYPE, nullptr))
    {
        set_ = std::setlocale(LC_CTYPE, name) != nullptr;
    }
    ~CtypeLocale() { std::setlocale(LC_CTYPE, previous_.c_str()); }
    bool set() const { return set_; }

private:
    std::string previous_;
    bool set_ = false;
};

struct Row {
    const char* text;
    std::wstring wide;
};

TEST(CodePage, PlainTextAndBytesThatDoNotConvertStandForThemselves)
{
    const CtypeLocale locale("C");
    for (const Row& row : {Row{"\\\\.\\E:", L"\\\\.\\E:"}, Row{"E:\xE9", L"E:\u00E9"}, Row{"", L""}})
        EXPECT_EQ(hostos::ansi_to_wide(row.text), row.wide) << row.text;
}

TEST(CodePage, AMultibyteLocaleDecodesItsSequences)
{
    const CtypeLocale locale("C.UTF-8");
    if (!locale.set())
        GTEST_SKIP() << "no UTF-8 locale here";
    const Row rows[] = {
        {"caf\xC3\xA9", L"caf\u00E9"},        // one character, not two bytes
        {"\xE2\x82\xAC/x", L"\u20AC/x"},      // three bytes
        {"a\xFF!", L"a\u00FF!"},              // not UTF-8: the byte itself
        {"cut \xC3", L"cut \u00C3"},          // a sequence the text ends inside
        {"\xC3(\xC3\xA9", L"\u00C3(\u00E9"},  // a broken sequence, then a whole one
    };
    for (const Row& row : rows)
        EXPECT_EQ(hostos::ansi_to_wide(row.text), row.wide) << row.text;
}

}  // namespace
