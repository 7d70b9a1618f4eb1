// The desktop's keys as the show knows them: Windows' virtual-key codes, which index the key array.
#pragma once

// The Windows virtual-key code for an SDL keycode (SDL_Keycode's value), or 0 for a key the show
// has no code for.
int virtualKeyFromKeycode(int sdlKeycode);
