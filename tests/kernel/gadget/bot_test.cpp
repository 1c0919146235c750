// The stand-in gadget's Bulk-Only Transport: command wrappers it refuses,
// the status wrapper's bytes, and the data-phase plan for the thirteen
// combinations of what the host announced and what the command wants.
#include "tests/kernel/gadget/bot.hpp"

#include <gtest/gtest.h>

#include <vector>

namespace kbench::bot {
namespace {

std::vector<std::uint8_t> cbw_bytes(std::uint8_t flags, std::uint8_t lun, std::uint8_t cb_length,
                                    std::uint32_t signature = kCbwSignature) {
  std::vector<std::uint8_t> b(kCbwSize, 0);
  for (int i = 0; i < 4; ++i) b[i] = static_cast<std::uint8_t>(signature >> (8 * i));
  b[4] = 0x78; b[5] = 0x56; b[6] = 0x34; b[7] = 0x12;  // tag
  b[8] = 0x00; b[9] = 0x02;                            // 512 bytes
  b[12] = flags; b[13] = lun; b[14] = cb_length;
  b[15] = 0x28;
  return b;
}

TEST(BotCbw, ChecksAsTheTransportSays) {
  struct Case { const char* name; std::vector<std::uint8_t> bytes; CbwCheck want; };
  auto long_one = cbw_bytes(0x80, 0, 10);
  long_one.push_back(0);
  const Case cases[] = {
      {"data in", cbw_bytes(0x80, 0, 10), CbwCheck::Ok},
      {"lun beyond the last still reaches the disk layer", cbw_bytes(0x00, 7, 10), CbwCheck::Ok},
      {"short", std::vector<std::uint8_t>(30, 0), CbwCheck::Invalid},
      {"long", long_one, CbwCheck::Invalid},
      {"wrong signature", cbw_bytes(0x80, 0, 10, kCswSignature), CbwCheck::Invalid},
      {"reserved flag bit", cbw_bytes(0x81, 0, 10), CbwCheck::NotMeaningful},
      {"empty command block", cbw_bytes(0x80, 0, 0), CbwCheck::NotMeaningful},
      {"command block over 16", cbw_bytes(0x80, 0, 17), CbwCheck::NotMeaningful},
  };
  for (const auto& c : cases) {
    Cbw cbw;
    EXPECT_EQ(parse_cbw(c.bytes, cbw), c.want) << c.name;
  }
  Cbw cbw;
  ASSERT_EQ(parse_cbw(cbw_bytes(0x00, 0x21, 10), cbw), CbwCheck::Ok);
  EXPECT_EQ(cbw.tag, 0x12345678u);
  EXPECT_EQ(cbw.transfer_length, 512u);
  EXPECT_EQ(cbw.direction, Direction::Out);
  EXPECT_EQ(cbw.lun, 1);
  EXPECT_EQ(cbw.cb_length, 10);
  EXPECT_EQ(cbw.cb[0], 0x28);
}

TEST(BotCsw, CarriesTagResidueAndStatus) {
  const auto csw = encode_csw(0x12345678, 0x200, CswStatus::PhaseError);
  const std::array<std::uint8_t, kCswSize> want{'U', 'S', 'B', 'S', 0x78, 0x56, 0x34, 0x12, 0x00, 0x02, 0, 0, 2};
  EXPECT_EQ(csw, want);
}

TEST(BotPlan, ThirteenCases) {
  using D = Direction;
  struct Case { int number; D host; std::uint32_t hl; D dev; std::uint32_t dl; Plan want; };
  const Case cases[] = {
      {1, D::None, 0, D::None, 0, {}},
      {2, D::None, 0, D::In, 36, {.phase_error = true}},
      {3, D::None, 0, D::Out, 512, {.phase_error = true}},
      {4, D::In, 512, D::None, 0, {.stall_in = true, .residue = 512}},
      {5, D::In, 512, D::In, 36, {.move = 36, .stall_in = true, .residue = 476}},
      {6, D::In, 512, D::In, 512, {.move = 512}},
      {7, D::In, 36, D::In, 512, {.move = 36, .phase_error = true}},
      {8, D::In, 512, D::Out, 512, {.stall_in = true, .phase_error = true, .residue = 512}},
      {9, D::Out, 512, D::None, 0, {.discard_out = true, .residue = 512}},
      {10, D::Out, 512, D::In, 512, {.discard_out = true, .phase_error = true, .residue = 512}},
      {11, D::Out, 4096, D::Out, 512, {.move = 512, .discard_out = true, .residue = 3584}},
      {12, D::Out, 512, D::Out, 512, {.move = 512}},
      {13, D::Out, 512, D::Out, 4096, {.move = 512, .phase_error = true}},
  };
  for (const auto& c : cases) {
    const Plan got = plan_data_phase(c.host, c.hl, c.dev, c.dl);
    EXPECT_EQ(got, c.want) << "case " << c.number << ": move " << got.move << " residue " << got.residue
                           << " stall_in " << got.stall_in << " discard_out " << got.discard_out
                           << " phase_error " << got.phase_error;
  }
}

}  // namespace
}  // namespace kbench::bot
