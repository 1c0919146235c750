#include "subcpu/subcmd.hpp"

#include "platform/sys.hpp"
#include "platform/unique_fd.hpp"

#include <fcntl.h>

#include <cstdio>
#include <cstring>

namespace subcmd {

bool bNoSend = false;

namespace {

std::uint8_t send_buf[kPacketBuffer];
std::uint8_t recv_buf[kPacketBuffer];

// Indexed from the code: 0x00-0x04 by the low nibble, 0x80-0x81 from 5,
// 0xF0-0xF9 from 7.
constexpr unsigned send_size[17] = {0, 6, 5, 4, 4, 4, 4, 4, 4, 4, 22, 7, 5, 5, 4, 4, 4};
constexpr unsigned recv_size[17] = {0, 6, 6, 18, 15, 12, 12, 5, 5, 5, 5, 7, 5, 5, 5, 5, 5};

// Open from sub_open to sub_close.
sys::UniqueFd dev_fd;
bool bCmdOut = false;

int size_index(std::uint8_t code)
{
    const unsigned high = code >> 4;
    const unsigned low = code & 0x0F;
    if (high == 0x0 && low <= 4)
        return static_cast<int>(low);
    if (high == 0x8 && low <= 1)
        return static_cast<int>(5 + low);
    if (high == 0xF && low <= 9)
        return static_cast<int>(7 + low);
    return 0;
}

void dump(const std::uint8_t* bytes, unsigned length)
{
    for (unsigned i = 0; i < length; ++i)
        std::printf(" %02X", bytes[i]);
    std::printf("\n");
}

// One exchange, with the code and payload already in send_buf.
int send_data()
{
    const std::uint8_t code = send_buf[2];
    const unsigned size = get_send_size(code);
    if (size == 0) {
        std::printf("send type error : %02x\n", code);
        return 0;
    }
    send_buf[0] = kLeadByte;
    send_buf[1] = static_cast<std::uint8_t>(size - 2);
    send_buf[size - 1] = checksum(send_buf);
    if (bCmdOut) {
        std::printf("send_data : ");
        dump(send_buf, size);
    }
    if (bNoSend) {
        recv_buf[3] = 0;
        return 1;
    }
    const ssize_t written = sys::write(dev_fd.get(), send_buf, size);
    if (written != static_cast<ssize_t>(size)) {
        std::printf("send error (size=%u wirte=%d) :", size, static_cast<int>(written));
        dump(send_buf, size);
        return 0;
    }
    return receive_reply(dev_fd.get(), code, recv_buf, send_buf);
}

}  // namespace

std::uint16_t big2short(const std::uint8_t* bytes) { return static_cast<std::uint16_t>(bytes[0] << 8 | bytes[1]); }

std::uint32_t big2long(const std::uint8_t* bytes)
{
    return std::uint32_t{bytes[0]} << 24 | std::uint32_t{bytes[1]} << 16 | std::uint32_t{bytes[2]} << 8 | bytes[3];
}

void short2big(std::uint16_t value, std::uint8_t* bytes)
{
    bytes[0] = static_cast<std::uint8_t>(value >> 8);
    bytes[1] = static_cast<std::uint8_t>(value);
}

void long2big(std::uint32_t value, std::uint8_t* bytes)
{
    for (int i = 0; i < 4; ++i)
        bytes[i] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
}

int receive_reply(int fd, std::uint8_t code, std::uint8_t (&reply)[kPacketBuffer], const std::uint8_t* sent)
{
    const unsigned size = get_recv_size(code);
    const ssize_t got = sys::read(fd, reply, size);
    if (got != static_cast<ssize_t>(size)) {
        std::printf("recv error (size=%u read=%d)\n", size, static_cast<int>(got));
        std::printf("send data :");
        dump(sent, get_send_size(code));
        return 0;
    }
    if (!check_reply(reply, code))
        return 0;
    if (bCmdOut) {
        std::printf("recv_data : ");
        dump(reply, size);
    }
    return 1;
}

int check_reply(const std::uint8_t (&reply)[kPacketBuffer], std::uint8_t code)
{
    const unsigned size = get_recv_size(code);
    if (reply[0] != kLeadByte || reply[1] != size - 2 || reply[2] != code) {
        std::printf("recv data error (size=%u) :", size);
        dump(reply, size);
        return 0;
    }
    const std::uint8_t sum = checksum(reply);
    if (sum != reply[size - 1]) {
        std::printf("recv sum error (size=%u sum=%02X) :", size, sum);
        dump(reply, size);
        return 0;
    }
    return 1;
}

unsigned get_send_size(std::uint8_t code) { return send_size[size_index(code)]; }
unsigned get_recv_size(std::uint8_t code) { return recv_size[size_index(code)]; }

std::uint8_t checksum(const std::uint8_t* packet)
{
    const unsigned length = packet[1];
    std::uint8_t sum = 0;
    for (unsigned i = 1; i <= length; ++i)
        sum = static_cast<std::uint8_t>(sum + packet[i]);
    return sum;
}

int sub_open()
{
    dev_fd.reset(sys::open(SUB_CPU_DEVICE, O_RDWR));
    if (!dev_fd.valid()) {
        std::printf("  cannot open : %s\n", SUB_CPU_DEVICE);
        return 0;
    }
    return 1;
}

void sub_close() { dev_fd.reset(); }

int sub_reg_write(std::uint8_t reg, std::uint8_t value)
{
    send_buf[2] = REG_WRITE;
    send_buf[3] = reg;
    send_buf[4] = value;
    if (!send_data())
        return 0;
    if (!bNoSend && (recv_buf[3] != reg || recv_buf[4] != value)) {
        std::printf("reg write recv data error (size=%u) :", get_recv_size(REG_WRITE));
        dump(recv_buf, get_recv_size(REG_WRITE));
        return 0;
    }
    return 1;
}

int sub_reg_read(std::uint8_t reg, std::uint8_t* value)
{
    send_buf[2] = REG_READ;
    send_buf[3] = reg;
    if (!send_data())
        return 0;
    if (bNoSend)
        return 1;
    if (recv_buf[3] != reg) {
        std::printf("reg read recv data error (size=%u) :", get_recv_size(REG_READ));
        dump(recv_buf, get_recv_size(REG_READ));
        return 0;
    }
    *value = recv_buf[4];
    return 1;
}

int sub_regs_read(std::uint8_t code, unsigned* count, const std::uint8_t** data)
{
    send_buf[2] = code;
    if (!send_data())
        return 0;
    *count = sub_received(data);
    return 1;
}

int sub_request(std::uint8_t code, int* ok)
{
    *ok = 0;
    send_buf[2] = code;
    if (!send_data())
        return 0;
    *ok = recv_buf[3] == 0;
    return 1;
}

int sub_req_block(std::uint8_t code, std::uint8_t block, int* ok)
{
    *ok = 0;
    send_buf[2] = code;
    send_buf[3] = block;
    if (!send_data())
        return 0;
    *ok = recv_buf[3] == 0;
    return 1;
}

int sub_req_write(std::uint16_t address, const std::uint8_t* data)
{
    send_buf[2] = REQ_WRITE;
    short2big(address, send_buf + 3);
    std::memcpy(send_buf + 5, data, 16);
    return send_data() && recv_buf[3] == 0;
}

int sub_req_read(std::uint16_t address, std::uint8_t* value)
{
    send_buf[2] = REQ_READ;
    short2big(address, send_buf + 3);
    send_buf[5] = 1;
    if (!send_data())
        return 0;
    *value = recv_buf[5];
    return bNoSend || big2short(recv_buf + 3) == address;
}

int sub_req_version(std::uint8_t code, Version* version)
{
    send_buf[2] = code;
    if (!send_data())
        return 0;
    version->year = big2short(recv_buf + 3);
    version->month = recv_buf[5];
    version->day = recv_buf[6];
    version->number = big2long(recv_buf + 7);
    return 1;
}

unsigned sub_received(const std::uint8_t** data)
{
    *data = recv_buf + 3;
    return get_recv_size(send_buf[2]) - 4;
}

void sub_received_dump()
{
    const std::uint8_t* data = nullptr;
    const unsigned size = sub_received(&data);
    std::printf("recv data (size=%u):", size);
    dump(data, size);
}

void debug_cmd_out() { bCmdOut = true; }

void debug_no_send()
{
    bCmdOut = true;
    bNoSend = true;
}

}  // namespace subcmd
