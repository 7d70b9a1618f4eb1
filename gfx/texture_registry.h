// TextureRegistry: the embedded images as GL textures, selected by short exact-match keys.
// Filled once at start-up in a fixed order (which fixes every key's position), read-only after.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

struct PngImage;

class TextureRegistry {
public:
    // Appends the key, then decodes the PNG bytes into a new texture (left bound). An image that
    // cannot be decoded keeps its position with texture 0.
    void add(const unsigned char* png, std::size_t size, const char* key);
    // The same with the image decoded beforehand (see loadDecodedPngTexture); decoded says
    // whether that worked.
    void add(const unsigned char* png, std::size_t size, const char* key, const PngImage& image, bool decoded);
    // Position of the key (exact, case-sensitive), or -1.
    int indexOf(const char* key) const;
    // Enables 2D texturing and binds the key's texture; an unknown key binds texture 0.
    void bind(const char* key) const;
    // Disables 2D texturing only; the binding stays.
    void unbind() const;

    std::vector<unsigned int> ids;
    std::vector<std::string> names;
};
