// The SDL keycode → Windows virtual-key mapping behind keys[]. The inputs are SDL2's keycode
// values written out (this side never sees SDL): characters are themselves, the other keys
// are their scancode with bit 30 set.
#include <gtest/gtest.h>

#include "platform/window.h"

namespace {

constexpr int scancodeKey(int scancode) { return scancode | (1 << 30); }

TEST(KeyMapping, CharactersNamedKeysAndUnknownKeys) {
    for (int i = 0; i < 26; ++i) EXPECT_EQ(virtualKeyFromKeycode('a' + i), 'A' + i);
    EXPECT_EQ(virtualKeyFromKeycode('7'), '7');
    const struct {
        int sdl, vk;
    } cases[] = {
        {27, 27},   {13, 13},   {32, 32},  {8, 8},  {127, 46},  // Esc Return Space BkSp Delete
        {scancodeKey(88), 13},                                   // keypad Enter
        {scancodeKey(80), 37},  {scancodeKey(81), 40},           // arrows left, down
        {scancodeKey(58), 112}, {scancodeKey(69), 123},          // F1 F12
        {scancodeKey(225), 16}, {scancodeKey(228), 17}, {scancodeKey(230), 18},  // left shift, right ctrl/alt
        {scancodeKey(98), 96},  {scancodeKey(97), 105},          // keypad 0 9
        {scancodeKey(75), 33},  {scancodeKey(74), 36},           // PgUp Home
        {scancodeKey(57), 0},   {scancodeKey(104), 0}, {'-', 0}, {0, 0}, {-1, 0},  // Caps Lock, F13: ignored
    };
    for (const auto& c : cases) EXPECT_EQ(virtualKeyFromKeycode(c.sdl), c.vk) << "SDL keycode " << c.sdl;
    // Nothing leaves the key array.
    for (int base : {0, 1 << 30}) {
        for (int code = 0; code < 1024; ++code) {
            const int vk = virtualKeyFromKeycode(base | code);
            EXPECT_TRUE(vk >= 0 && vk <= 255) << (base | code);
        }
    }
}

}  // namespace
