// What the launcher's verbs share: their description, exit statuses and
// messages, and opening the reader a verb names.
#pragma once

#include "vreader/model/core/reader_dir.hpp"
#include "vreader/model/devices/emmc/rawdata_table.hpp"

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
extern const Verb kTableVerb;
extern const Verb kDumpVerb;
extern const Verb kPutVerb;
extern const Verb kTouchVerb;
extern const Verb kTunnelVerb;
extern const Verb kPastLogVerb;
extern const Verb kUeventVerb;

void print_verb_help(const Verb& verb);

// "vreader VERB: message" and the verb's synopsis on stderr; returns 2.
int usage_error(const Verb& verb, const std::string& message);

// "vreader VERB: message" on stderr; returns 125.
int failure(const Verb& verb, const std::string& message);

// Whether "--help" or "-h" is among the arguments.
bool wants_help(const Args& args);

// The reader in `dir`, or nullopt after reporting why (status 125).
std::optional<ReaderDir> open_reader(const Verb& verb, std::string_view dir);

// The raw area a person named (exact, or a unique prefix in any case), from
// the reader's published table; nullopt after reporting why (status 125).
std::optional<RawArea> named_area(const Verb& verb, const ReaderDir& reader, std::string_view words);

// Says that the raw-data table's file is longer than the kernel shows.
std::string table_cut_note(std::size_t file_size);

// "WxH" with each side 1..4096.
bool parse_size(std::string_view text, std::uint32_t& width, std::uint32_t& height);

// A byte count: a number with an optional K, M, G or T (powers of 1024).
std::optional<std::uint64_t> parse_byte_count(std::string_view text);
// The shortest of those forms that is exact: "4G", "16M", "1536".
std::string format_byte_count(std::uint64_t bytes);

// The eMMC's node names on this reader, e.g. "/dev/mmcblk2 and /dev/block/mmcblk2".
std::string emmc_node_names(const ReaderConfig& config);

// `path` made absolute against the current directory (not resolved).
std::string absolute_path(std::string_view path);

}  // namespace vreader::cli
