#include "tests/ui/icon_images.h"

#include <cstring>

namespace test {

std::vector<unsigned char> resource_bytes(HMODULE module, int id, LPCSTR type) {
    const HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(id), type);
    const HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
    const auto* data = loaded ? static_cast<const unsigned char*>(LockResource(loaded)) : nullptr;
    return data ? std::vector<unsigned char>(data, data + SizeofResource(module, found))
                : std::vector<unsigned char>();
}

std::vector<icon_image> icon_images(HMODULE module, int icon) {
    // GRPICONDIR: three words, the last the count; then packed 14-byte entries.
    constexpr std::size_t header_size = 6, entry_size = 14;
    const std::vector<unsigned char> group = resource_bytes(module, icon, RT_GROUP_ICON);
    std::vector<icon_image> images;
    WORD count = 0;
    if (group.size() >= header_size)
        std::memcpy(&count, group.data() + 4, sizeof count);
    for (std::size_t i = 0; i < count && header_size + (i + 1) * entry_size <= group.size(); ++i) {
        const unsigned char* entry = group.data() + header_size + i * entry_size;
        WORD bits = 0, id = 0;
        std::memcpy(&bits, entry + 6, sizeof bits);
        std::memcpy(&id, entry + 12, sizeof id);
        images.push_back({entry[0] ? entry[0] : 256, bits, id});
    }
    return images;
}

HICON icon_from_image(HMODULE module, const icon_image& image) {
    std::vector<unsigned char> data = resource_bytes(module, image.id, RT_ICON);
    if (data.empty())
        return nullptr;
    return CreateIconFromResourceEx(data.data(), static_cast<DWORD>(data.size()), TRUE, 0x00030000,
                                    image.width, image.width, LR_DEFAULTCOLOR);
}

int icon_width(HICON icon) {
    ICONINFO info{};
    if (!icon || !GetIconInfo(icon, &info))
        return 0;
    BITMAP shape{};
    GetObjectA(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof shape, &shape);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    return shape.bmWidth;
}

} // namespace test
