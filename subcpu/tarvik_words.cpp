// What tarvik's commands share: the help text, the words of its command
// line, and how it reads numbers.
#include "platform/numbers.hpp"
#include "subcpu/tarvik.hpp"

#include <cstdio>
#include <cstring>

namespace tarvik {
namespace {

const char* const szUsage[] = {
    "tarvik [reg | req | ver] [d | n]",
    "",
    "  reg <register option>",
    "    w <address> <value> : Write in a value at a summit register.",
    "                          Appoint an address and the value by a hex digit,",
    "                          but it is not necessary to attach \"0x\".",
    "    r <address>         : Read the value of the summit register.",
    "    c                   : Read the value of all config registers of summit.",
    "    s                   : Read the value of all status registers of summit.",
    "",
    "  req <request option>",
    "    st or status        : The firmware status of the subCPU.",
    "    um or upmode        : Change to an update mode.",
    "                          When the request option lower than this does",
    "                          not change to an update mode, become the error.",
    "    us or upstart       : A firmware update start.",
    "    ue or upend         : The firmware update end.",
    "    w <address> <val..> : From a specified address, write in a value.",
    "                          Appoint an address and the value by a hex digit,",
    "                          but it is not necessary to attach \"0x\".",
    "                          The writing is supplemented in 0xff in the deficit",
    "                          in order that be executed by a 16 bytes unit.",
    "    r <address> <num>   : From a specified address, read a value for ",
    "                          the specified number.",
    "                          Appoint an address and the number by a hex digit,",
    "                          but it is not necessary to attach \"0x\".",
    "    e <block no>        : Erase a specified block.",
    "                          The block number is appointed by a decimal number.",
    "    v <block no>        : The verify of the specified block.",
    "                          The block number is appointed by a decimal number.",
    "    sw or swap          : Do swap of a boot cluster.",
    "    b or reboot         : Reboot a subCPU.",
    "",
    "  ver <version option>",
    "    mcu                 : The firmware version of the subCPU.",
    "    self                : A firmware version of the self-update.",
    "",
    "  d                     : Output communication data.",
    "  n                     : Output transmission data without communicating.",
};

}  // namespace

void usage()
{
    for (const char* line : szUsage)
        std::printf("%s\n", line);
}

bool begins(const char* word, const char* name) { return std::strncmp(word, name, std::strlen(name)) == 0; }

bool is_help(const char* word) { return word[0] == 'h' || begins(word, "-h") || begins(word, "--help"); }

bool is_debug_or_help(const char* word) { return word[0] == 'd' || word[0] == 'n' || is_help(word); }

long hex_number(const char* text) { return sys::strtol(text, nullptr, 16); }
long decimal_number(const char* text) { return sys::strtol(text, nullptr, 10); }

int argument_error()
{
    std::printf("An argument error. : NG\n");
    return 1;
}

}  // namespace tarvik
