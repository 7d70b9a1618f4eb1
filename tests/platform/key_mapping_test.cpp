// The SDL keycode → Windows virtual-key mapping behind keys[]. The inputs are SDL2's keycode
// values written out (this side never sees SDL): characters are themselves, the other keys
// are their scancode with bit 30 set.
#include <gtest/gtest.h>

#include "platform/window.h"

namespace {

constexpr int scancodeKey(int scancode) { return scancode | (1 << 30); }

TEST(KeyMapping, LettersOfBothCasesAndDigits) {
    for (int i = 0; i < 26; ++i) {
        EXPECT_EQ(virtualKeyFromKeycode('a' + i), 'A' + i);
        EXPECT_EQ(virtualKeyFromKeycode('A' + i), 'A' + i);
    }
    for (int d = 0; d < 10; ++d) EXPECT_EQ(virtualKeyFromKeycode('0' + d), '0' + d);
}

TEST(KeyMapping, NamedKeysGetTheirWindowsCodes) {
    const struct {
        int sdl;
        int vk;
    } cases[] = {
        {27, 27},   {13, 13},   {32, 32},   {8, 8},    {9, 9},                                  // Esc Return Space BkSp Tab
        {scancodeKey(88), 13},                                                               // keypad Enter
        {scancodeKey(80), 37},  {scancodeKey(82), 38},  {scancodeKey(79), 39},  {scancodeKey(81), 40},  // arrows
        {scancodeKey(58), 112}, {scancodeKey(63), 117}, {scancodeKey(69), 123},               // F1 F6 F12
        {scancodeKey(225), 16}, {scancodeKey(229), 16},                                      // shifts
        {scancodeKey(224), 17}, {scancodeKey(228), 17},                                      // controls
        {scancodeKey(226), 18}, {scancodeKey(230), 18},                                      // alts
        {scancodeKey(98), 96},  {scancodeKey(89), 97},  {scancodeKey(93), 101}, {scancodeKey(97), 105},  // keypad 0 1 5 9
        {scancodeKey(75), 33},  {scancodeKey(78), 34},  {scancodeKey(77), 35},  {scancodeKey(74), 36},   // PgUp PgDn End Home
        {scancodeKey(73), 45},  {127, 46},                                                   // Insert Delete
    };
    for (const auto& c : cases) EXPECT_EQ(virtualKeyFromKeycode(c.sdl), c.vk) << "SDL keycode " << c.sdl;
}

TEST(KeyMapping, UnknownKeysAreIgnoredAndNothingLeavesTheKeyArray) {
    EXPECT_EQ(virtualKeyFromKeycode(scancodeKey(57)), 0);   // Caps Lock
    EXPECT_EQ(virtualKeyFromKeycode(scancodeKey(104)), 0);  // F13
    EXPECT_EQ(virtualKeyFromKeycode('-'), 0);
    EXPECT_EQ(virtualKeyFromKeycode(0), 0);
    EXPECT_EQ(virtualKeyFromKeycode(-1), 0);
    for (int base : {0, 1 << 30}) {
        for (int code = 0; code < 1024; ++code) {
            const int vk = virtualKeyFromKeycode(base | code);
            EXPECT_TRUE(vk >= 0 && vk <= 255) << (base | code);
        }
    }
}

}  // namespace
