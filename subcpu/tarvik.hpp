// tarvik, the sub-CPU and charger service tool: what its command files
// share. Commands return the exit status: 0 for success, 1 for failure.
#pragma once

#include <cstdint>

namespace tarvik {

void usage();

// The control mode of the SPI link: "update" while user space talks to the
// sub-CPU, "normal" otherwise. true on success.
bool spi_ctrl(bool update);
// A connection: control mode "update" and the device open. 0 or 1.
int open_sub();
// Device closed, control mode "normal" (in no-send mode too). 1 when the
// link could not be handed back to the kernel: the command has then failed,
// since the kernel cannot reach the sub-CPU while the mode stays "update".
int close_sub();

int proc_reg(int argc, char** argv, int next);
int proc_req(int argc, char** argv, int next);
int proc_ver(int argc, char** argv, int next);

// A word matches a name when it begins with it.
bool begins(const char* word, const char* name);
// A help word: h..., -h..., --help....
bool is_help(const char* word);
// What the write command skips as data: a help word, d... or n....
bool is_debug_or_help(const char* word);
// The C library's strtol in base 16 or 10, as the reader computes it.
long hex_number(const char* text);
long decimal_number(const char* text);
// "An argument error. : NG"
int argument_error();

}  // namespace tarvik
