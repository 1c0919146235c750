// What the launcher's verbs share: their description, exit statuses and
// messages, and opening the reader a verb names.
#pragma once

#include "vreader/model/reader_dir.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vreader::cli {

inline constexpr int kExitUsage = 2;      // bad command line
inline constexpr int kExitFailure = 125;  // the launcher itself failed

using Args = std::vector<std::string_view>;

struct Verb {
    std::string_view name;
    std::string_view synopsis;  // arguments after the verb
    std::string_view summary;   // one line for the overview
    std::string_view help;      // paragraphs after the synopsis
    int (*run)(const Verb& verb, const Args& args);
};

extern const Verb kInitVerb;
extern const Verb kRunVerb;
extern const Verb kScreenshotVerb;
extern const Verb kJournalVerb;
extern const Verb kFailVerb;
extern const Verb kStateVerb;
extern const Verb kSetVerb;
extern const Verb kBitmapVerb;

void print_verb_help(const Verb& verb);

// "vreader VERB: message" and the verb's synopsis on stderr; returns 2.
int usage_error(const Verb& verb, const std::string& message);

// "vreader VERB: message" on stderr; returns 125.
int failure(const Verb& verb, const std::string& message);

// Whether "--help" or "-h" is among the arguments.
bool wants_help(const Args& args);

// The reader in `dir`, or nullopt after reporting why (status 125).
std::optional<ReaderDir> open_reader(const Verb& verb, std::string_view dir);

// "WxH" with each side 1..4096.
bool parse_size(std::string_view text, std::uint32_t& width, std::uint32_t& height);

// `path` made absolute against the current directory (not resolved).
std::string absolute_path(std::string_view path);

}  // namespace vreader::cli
