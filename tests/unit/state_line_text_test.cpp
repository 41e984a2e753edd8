// The state line cut to fit the tray icon's tip.
#include "windows/state_line_text.h"

#include <gtest/gtest.h>

namespace zt {
namespace {

// Cut after a whole word, never inside a port's name or a character, and
// a text that fits left whole.
TEST(StateLineTextTest, TheTipIsCutAtAWord) {
  const std::string waiting = "Waiting for \\\\.\\COM12 \xE2\x80\x94 retrying";
  EXPECT_EQ(CutAtWord(waiting, kTipLength), waiting);
  const std::string longer = waiting + "; DISPLAY2 gone, using the primary monitor";
  EXPECT_EQ(CutAtWord(longer, 40), "Waiting for \\\\.\\COM12 \xE2\x80\x94 retrying...");
  EXPECT_EQ(CutAtWord(longer, 20), "Waiting for...");
  EXPECT_EQ(CutAtWord("\\\\.\\BthModemWithAVeryLongName0", 12), "\\\\.\\BthMo...");
}

}  // namespace
}  // namespace zt
