#include "toolkit/image_store.h"

#include <map>
#include <memory>

namespace {

// Free numbers start well above the program's fixed ones.
constexpr int firstFreeNumber = 1000;

std::map<int, std::unique_ptr<Image>>& store() {
    static std::map<int, std::unique_ptr<Image>> images;
    return images;
}

int freeNumber() {
    int n = firstFreeNumber;
    auto& images = store();
    for (auto it = images.lower_bound(firstFreeNumber); it != images.end() && it->first == n;
         ++it) {
        ++n;
    }
    return n;
}

}  // namespace

Image* findImage(int n) {
    auto& images = store();
    auto it = images.find(n);
    return it == images.end() ? nullptr : it->second.get();
}

bool imageExists(int n) {
    return findImage(n) != nullptr;
}

int storeImage(int n, Image image) {
    if (n == anyImageNumber) n = freeNumber();
    store()[n] = std::make_unique<Image>(std::move(image));
    return n;
}

int createImage(int n, int w, int h, int depth, uint32_t fill) {
    if (!imageSizeAllowed(w, h)) return 0;
    return storeImage(n, Image(w, h, depth, fill));
}

int copyImage(int source, int target) {
    Image* src = findImage(source);
    if (!src) return 0;
    if (source == target) return target;
    // Copied into the target's own memory when it has room: a preview copied again and
    // again then costs no fresh pages.
    if (Image* dst = findImage(target)) {
        *dst = *src;
        return target;
    }
    return storeImage(target, *src);
}

void freeImage(int n) {
    store().erase(n);
}

void freeAllImages() {
    store().clear();
}

int imageCount() {
    return static_cast<int>(store().size());
}
