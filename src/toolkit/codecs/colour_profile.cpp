#include "toolkit/codecs/colour_profile.h"

#include <lcms2.h>

#include <memory>
#include <vector>

#include "toolkit/parallel.h"

namespace {

// Whatever LittleCMS complains about makes the profile unusable, which the caller hears
// through the result; the text itself is not wanted.
void ignoreCmsError(cmsContext, cmsUInt32Number, const char*) {}

struct ContextDeleter {
    void operator()(cmsContext c) const { cmsDeleteContext(c); }
};
struct ProfileDeleter {
    void operator()(void* p) const { cmsCloseProfile(static_cast<cmsHPROFILE>(p)); }
};
struct TransformDeleter {
    void operator()(void* t) const { cmsDeleteTransform(static_cast<cmsHTRANSFORM>(t)); }
};

// Grey levels read from the red byte of each four-byte pixel.
constexpr cmsUInt32Number greyInPixel =
    COLORSPACE_SH(PT_GRAY) | CHANNELS_SH(1) | BYTES_SH(1) | EXTRA_SH(3);

// The signatures are read as plain numbers: a damaged profile holds values that no
// enumerator names.
bool profileFits(cmsHPROFILE profile, SampleKind kind) {
    const cmsUInt32Number cls = cmsGetDeviceClass(profile);
    if (cls == cmsSigLinkClass || cls == cmsSigAbstractClass || cls == cmsSigNamedColorClass) {
        return false;
    }
    const cmsUInt32Number space = cmsGetColorSpace(profile);
    switch (kind) {
        case SampleKind::Rgb:
            return space == cmsSigRgbData;
        case SampleKind::Grey:
            return space == cmsSigGrayData;
        case SampleKind::Cmyk:
            return space == cmsSigCmykData;
    }
    return false;
}

}  // namespace

bool convertToSrgb(Image& image, const uint8_t* profile, size_t size, SampleKind kind,
                   bool invertedInks) {
    if (!profile || size == 0 || image.empty()) return false;
    // A context of its own per conversion: pixova-batch converts files on several threads.
    std::unique_ptr<_cmsContext_struct, ContextDeleter> context(cmsCreateContext(nullptr, nullptr));
    if (!context) return false;
    cmsSetLogErrorHandlerTHR(context.get(), ignoreCmsError);
    std::unique_ptr<void, ProfileDeleter> source(
        cmsOpenProfileFromMemTHR(context.get(), profile, static_cast<cmsUInt32Number>(size)));
    if (!source || !profileFits(source.get(), kind)) return false;
    std::unique_ptr<void, ProfileDeleter> srgb(cmsCreate_sRGBProfileTHR(context.get()));
    if (!srgb) return false;
    cmsUInt32Number input = TYPE_RGBA_8;
    if (kind == SampleKind::Grey) input = greyInPixel;
    if (kind == SampleKind::Cmyk) input = invertedInks ? TYPE_CMYK_8_REV : TYPE_CMYK_8;
    // No cache: the rows are shared among threads, and the cache is the transform's own.
    std::unique_ptr<void, TransformDeleter> transform(
        cmsCreateTransformTHR(context.get(), source.get(), input, srgb.get(), TYPE_RGBA_8,
                              INTENT_PERCEPTUAL, cmsFLAGS_NOCACHE));
    if (!transform) return false;

    const bool keepAlpha = kind != SampleKind::Cmyk;
    parallelRows(0, image.height - 1, image.width, [&](int y0, int y1) {
        std::vector<uint32_t> converted(static_cast<size_t>(image.width));
        for (int y = y0; y < y1; ++y) {
            uint32_t* row = image.row(y);
            cmsDoTransform(transform.get(), row, converted.data(),
                           static_cast<cmsUInt32Number>(image.width));
            for (int x = 0; x < image.width; ++x) {
                const uint32_t alpha = keepAlpha ? row[x] & alphaMask : alphaMask;
                row[x] = (converted[x] & colourMask) | alpha;
            }
        }
    });
    return true;
}
