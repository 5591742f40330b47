#include "toolkit/codecs/codec_util.h"

#include <algorithm>
#include <cstdint>

std::string imageSizeError(int64_t width, int64_t height) {
    if (width <= 0 || height <= 0) {
        return "invalid image size " + std::to_string(width) + " x " + std::to_string(height);
    }
    if (!imageSizeAllowed(width, height)) {
        return "image size " + std::to_string(width) + " x " + std::to_string(height) +
               " is over the limit of " + std::to_string(maxImagePixels) + " pixels";
    }
    return {};
}

std::string encoderInputError(const Image& image) {
    if (image.depth != 24 && image.depth != 32) {
        return "unsupported image depth " + std::to_string(image.depth);
    }
    std::string sizeError = imageSizeError(image.width, image.height);
    if (!sizeError.empty()) return sizeError;
    if (image.pixels.size() != static_cast<size_t>(image.width) * image.height) {
        return "image pixel count does not match its size";
    }
    return {};
}

bool sinkWrite(ByteSink* sink, const void* bytes, size_t count) {
    if (sink->failed) return false;
    if (count > SIZE_MAX - sink->position) {
        sink->failed = true;
        return false;
    }
    size_t end = sink->position + count;
    if (end > sink->capacity) {
        size_t capacity = std::max<size_t>(sink->capacity * 2, 64 * 1024);
        if (capacity < end) capacity = end;
        void* grown = std::realloc(sink->data, capacity);
        if (!grown) {
            sink->failed = true;
            return false;
        }
        sink->data = static_cast<uint8_t*>(grown);
        sink->capacity = capacity;
    }
    if (sink->position > sink->size) {
        // A seek past the end leaves a gap: fill it with zeros rather than garbage.
        std::memset(sink->data + sink->size, 0, sink->position - sink->size);
    }
    if (count > 0) std::memcpy(sink->data + sink->position, bytes, count);
    sink->position = end;
    sink->size = std::max(sink->size, end);
    return true;
}
