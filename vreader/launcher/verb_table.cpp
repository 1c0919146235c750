// vreader table: the raw-data table as the virtual kernel reads it.
#include "vreader/launcher/cli.hpp"
#include "vreader/model/state/files.hpp"

#include <cstdio>
#include <cstring>

namespace vreader::cli {
namespace {

int run_table(const Verb& verb, const Args& args)
{
    if (wants_help(args)) {
        print_verb_help(verb);
        return 0;
    }
    if (args.size() != 1)
        return usage_error(verb, args.empty() ? "no directory" : "too many arguments");
    const auto reader = open_reader(verb, args[0]);
    if (!reader)
        return kExitFailure;
    std::vector<RawArea> areas;
    std::vector<std::string> unread;
    std::size_t file_size = 0;
    if (const int e = read_areas(*reader, areas, &unread, &file_size))
        return failure(verb, "cannot read " + reader->file(kRawdataParamFile) + ": " + std::strerror(e));
    std::printf("%-20s %-12s %-12s %s\n", "area", "offset", "size", "end");
    for (const RawArea& area : areas)
        std::printf("%-20s 0x%08llX   0x%08llX   0x%08llX\n", area.name.c_str(),
                    static_cast<unsigned long long>(area.offset), static_cast<unsigned long long>(area.size),
                    static_cast<unsigned long long>(area.offset) + area.size);
    for (const std::string& line : unread)
        std::printf("not an area: %s\n", line.c_str());
    if (file_size > kShownTableBytes)
        std::printf("cut: %s; the rest is not published\n", table_cut_note(file_size).c_str());
    std::string dev_no;
    read_file(reader->file(kMmcDevNoFile), dev_no);
    const auto line_end = dev_no.find('\n');
    std::printf("eMMC: %s, %s; mmc_dev_no: %s\n", format_byte_count(reader->config().emmc_size).c_str(),
                emmc_node_names(reader->config()).c_str(), dev_no.substr(0, line_end).c_str());
    return 0;
}

}  // namespace

const Verb kTableVerb = {
    "table",
    "DIR",
    "list the eMMC's raw areas",
    "Lists the raw areas that the raw-data table publishes\n"
    "(sys/module/rawdatatable/parameters/rawdata_param in DIR): name, offset,\n"
    "size and end, in bytes from the start of the eMMC. Lines that do not read\n"
    "as NAME:0xOFFSET:0xSIZE are shown as such. The kernel shows at most the\n"
    "first 4095 bytes of the table, as a sysfs attribute shows one page: a\n"
    "longer file is cut there for the programs, the display driver and every\n"
    "verb alike, and a 'cut:' line says so. Then the eMMC's size, its node\n"
    "names and the unit number in mmc_dev_no. Both files are plain text: edit\n"
    "them to move an area or to break the table.\n",
    run_table,
};

}  // namespace vreader::cli
