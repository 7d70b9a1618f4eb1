// TextureRegistry: a linear scan over 17 keys is the whole cost of a bind.
#include "gfx/texture_registry.h"

#include <cstring>

#include "gfx/texture_upload.h"
#include "platform/gl.h"

void TextureRegistry::add(const unsigned char* png, std::size_t size, const char* key) {
    names.emplace_back(key);
    ids.push_back(loadPngTexture(png, size));
}

void TextureRegistry::add(const unsigned char* png, std::size_t size, const char* key, const PngImage& image,
                          bool decoded) {
    names.emplace_back(key);
    ids.push_back(loadDecodedPngTexture(image, decoded, png, size));
}

int TextureRegistry::indexOf(const char* key) const {
    const std::size_t length = std::strlen(key);
    for (std::size_t i = 0; i < ids.size() && i < names.size(); ++i) {
        if (names[i].size() == length && std::memcmp(names[i].data(), key, length) == 0) return int(i);
    }
    return -1;
}

void TextureRegistry::bind(const char* key) const {
    glEnable(GL_TEXTURE_2D);
    const int index = indexOf(key);
    glBindTexture(GL_TEXTURE_2D, index < 0 ? 0u : ids[std::size_t(index)]);
}

void TextureRegistry::unbind() const { glDisable(GL_TEXTURE_2D); }
