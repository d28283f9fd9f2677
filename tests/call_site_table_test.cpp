#include "failure/call_site_table.h"

#include <vector>

#include "harness/test.h"

START_TEST(call_site_ranges) {
  // As GCC writes it: no landing-pad base, no type table, ULEB128 call sites.
  const std::vector<uint8_t> lsda = {0xff, 0xff, 0x01, 8,     // header, table length
                                     0x02, 0x04, 0x00, 0x00,  // [2, 6) without landing pad
                                     0x10, 0x08, 0x30, 0x00,  // [16, 24) with one
                                     0xAA, 0xBB};             // what follows the table
  static const struct {
    uint64_t offset;
    bool covered;
  } cases[] = {{0, false},  {1, false}, {2, true},  {5, true},   {6, false},
               {15, false}, {16, true}, {23, true}, {24, false}, {0xFFFFFFFFFFull, false}};
  for (const auto& c : cases) {
    ok(ombru::CallSiteCovers(lsda.data(), lsda.size(), c.offset) == c.covered, "offset %llu\n",
       static_cast<unsigned long long>(c.offset));
  }
}

START_TEST(call_site_encodings_and_bad_tables) {
  // A landing-pad base, a type table, fixed four-byte call sites.
  const std::vector<uint8_t> udata4 = {0x01, 0x10, 0x9b, 0x05, 0x03, 13, 0x20, 0, 0,   0,
                                       0x10, 0,    0,    0,    0,    0,  0,    0, 0x00};
  ok(ombru::CallSiteCovers(udata4.data(), udata4.size(), 0x25), "udata4 with a base and types\n");
  ok(!ombru::CallSiteCovers(udata4.data(), udata4.size(), 0x30), "udata4 end\n");

  const std::vector<uint8_t> truncated = {0xff, 0xff, 0x01, 40, 0x00, 0x10};
  ok(!ombru::CallSiteCovers(truncated.data(), truncated.size(), 1), "table past the data\n");
  const std::vector<uint8_t> unknown = {0xff, 0xff, 0x07, 4, 0, 1, 0, 0};
  ok(!ombru::CallSiteCovers(unknown.data(), unknown.size(), 0), "unknown encoding\n");
  ok(!ombru::CallSiteCovers(nullptr, 0, 0), "nothing at all\n");
  const std::vector<uint8_t> endless = {0xff, 0xff, 0x01, 0x80, 0x80, 0x80, 0x80,
                                        0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80};
  ok(!ombru::CallSiteCovers(endless.data(), endless.size(), 0), "overlong length\n");
}
