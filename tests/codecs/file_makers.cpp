#include "file_makers.h"

#include <lcms2.h>
#include <tiffio.h>
#include <webp/encode.h>
#include <webp/mux.h>

#include <cstdio>
// jpeglib.h needs FILE and size_t declared first.
#include <jpeglib.h>

#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "codec_test_util.h"
#include "support/test_images.h"

namespace {

std::vector<uint8_t> saveProfile(cmsHPROFILE profile) {
    cmsUInt32Number size = 0;
    if (!profile || !cmsSaveProfileToMem(profile, nullptr, &size)) {
        throw std::runtime_error("profile not made");
    }
    std::vector<uint8_t> bytes(size);
    cmsSaveProfileToMem(profile, bytes.data(), &size);
    cmsCloseProfile(profile);
    return bytes;
}

}  // namespace

std::vector<uint8_t> adobeLikeProfile() {
    const cmsCIExyY white{0.3127, 0.3290, 1.0};
    const cmsCIExyYTRIPLE primaries{{0.64, 0.33, 1.0}, {0.21, 0.71, 1.0}, {0.15, 0.06, 1.0}};
    cmsToneCurve* gamma = cmsBuildGamma(nullptr, 563.0 / 256.0);
    cmsToneCurve* curves[3] = {gamma, gamma, gamma};
    std::vector<uint8_t> bytes = saveProfile(cmsCreateRGBProfile(&white, &primaries, curves));
    cmsFreeToneCurve(gamma);
    return bytes;
}

std::vector<uint8_t> linearGreyProfile() {
    cmsToneCurve* linear = cmsBuildGamma(nullptr, 1.0);
    std::vector<uint8_t> bytes = saveProfile(cmsCreateGrayProfile(cmsD50_xyY(), linear));
    cmsFreeToneCurve(linear);
    return bytes;
}

Image flatImage(int w, int h, uint32_t colour) {
    return Image(w, h, 24, colour | alphaMask);
}

std::vector<uint8_t> makeJpeg(const Image& image, const JpegMaking& making) {
    jpeg_compress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);  // test-only: libjpeg's own handler is fine here
    jpeg_create_compress(&cinfo);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &out, &size);
    cinfo.image_width = static_cast<JDIMENSION>(image.width);
    cinfo.image_height = static_cast<JDIMENSION>(image.height);
    cinfo.input_components = making.grey ? 1 : 3;
    cinfo.in_color_space = making.grey ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 100, TRUE);
    for (int c = 0; c < cinfo.num_components; ++c) {
        cinfo.comp_info[c].h_samp_factor = 1;
        cinfo.comp_info[c].v_samp_factor = 1;
    }
    cinfo.density_unit = static_cast<UINT8>(making.densityUnit);
    cinfo.X_density = static_cast<UINT16>(making.xDensity);
    cinfo.Y_density = static_cast<UINT16>(making.yDensity);
    jpeg_start_compress(&cinfo, TRUE);
    if (!making.exif.empty()) {
        std::vector<uint8_t> marker = {'E', 'x', 'i', 'f', 0, 0};
        marker.insert(marker.end(), making.exif.begin(), making.exif.end());
        jpeg_write_marker(&cinfo, JPEG_APP0 + 1, marker.data(),
                          static_cast<unsigned>(marker.size()));
    }
    if (!making.profile.empty()) {
        jpeg_write_icc_profile(&cinfo, making.profile.data(),
                               static_cast<unsigned>(making.profile.size()));
    }
    std::vector<uint8_t> row(static_cast<size_t>(image.width) * 3);
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            const uint32_t p = image.at(x, y);
            if (making.grey) {
                row[x] = static_cast<uint8_t>(redOf(p));
            } else {
                row[3 * x] = static_cast<uint8_t>(redOf(p));
                row[3 * x + 1] = static_cast<uint8_t>(greenOf(p));
                row[3 * x + 2] = static_cast<uint8_t>(blueOf(p));
            }
        }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::vector<uint8_t> bytes(out, out + size);
    std::free(out);
    return bytes;
}

namespace {

std::vector<uint8_t> webpLossless(const Image& image) {
    uint8_t* out = nullptr;
    const auto* rgba = reinterpret_cast<const uint8_t*>(image.pixels.data());
    const size_t size = image.depth == 32 ? WebPEncodeLosslessRGBA(rgba, image.width, image.height,
                                                                   image.width * 4, &out)
                                          : 0;
    std::vector<uint8_t> bytes;
    if (image.depth == 32) {
        bytes.assign(out, out + size);
    } else {
        std::vector<uint8_t> rgb(static_cast<size_t>(image.width) * image.height * 3);
        for (size_t i = 0; i < image.pixels.size(); ++i) {
            rgb[3 * i] = static_cast<uint8_t>(redOf(image.pixels[i]));
            rgb[3 * i + 1] = static_cast<uint8_t>(greenOf(image.pixels[i]));
            rgb[3 * i + 2] = static_cast<uint8_t>(blueOf(image.pixels[i]));
        }
        const size_t n =
            WebPEncodeLosslessRGB(rgb.data(), image.width, image.height, image.width * 3, &out);
        bytes.assign(out, out + n);
    }
    WebPFree(out);
    if (bytes.empty()) throw std::runtime_error("WebP not made");
    return bytes;
}

}  // namespace

std::vector<uint8_t> makeWebp(const Image& image, const std::vector<uint8_t>& exif,
                              const std::vector<uint8_t>& profile) {
    std::vector<uint8_t> plain = webpLossless(image);
    if (exif.empty() && profile.empty()) return plain;
    WebPMux* mux = WebPMuxNew();
    const WebPData bitstream{plain.data(), plain.size()};
    WebPMuxSetImage(mux, &bitstream, 1);
    if (!exif.empty()) {
        const WebPData data{exif.data(), exif.size()};
        WebPMuxSetChunk(mux, "EXIF", &data, 1);
    }
    if (!profile.empty()) {
        const WebPData data{profile.data(), profile.size()};
        WebPMuxSetChunk(mux, "ICCP", &data, 1);
    }
    WebPData assembled{nullptr, 0};
    if (WebPMuxAssemble(mux, &assembled) != WEBP_MUX_OK) throw std::runtime_error("mux");
    std::vector<uint8_t> bytes(assembled.bytes, assembled.bytes + assembled.size);
    WebPDataClear(&assembled);
    WebPMuxDelete(mux);
    return bytes;
}

std::vector<uint8_t> makeAnimatedWebp(const std::vector<Image>& frames) {
    WebPAnimEncoderOptions options;
    WebPAnimEncoderOptionsInit(&options);
    WebPAnimEncoder* encoder = WebPAnimEncoderNew(frames[0].width, frames[0].height, &options);
    WebPConfig config;
    WebPConfigInit(&config);
    config.lossless = 1;
    int timestamp = 0;
    for (const Image& frame : frames) {
        WebPPicture picture;
        WebPPictureInit(&picture);
        picture.use_argb = 1;
        picture.width = frame.width;
        picture.height = frame.height;
        WebPPictureImportRGBA(&picture, reinterpret_cast<const uint8_t*>(frame.pixels.data()),
                              frame.width * 4);
        WebPAnimEncoderAdd(encoder, &picture, timestamp, &config);
        WebPPictureFree(&picture);
        timestamp += 100;
    }
    WebPAnimEncoderAdd(encoder, nullptr, timestamp, nullptr);
    WebPData data{nullptr, 0};
    WebPAnimEncoderAssemble(encoder, &data);
    std::vector<uint8_t> bytes(data.bytes, data.bytes + data.size);
    WebPDataClear(&data);
    WebPAnimEncoderDelete(encoder);
    return bytes;
}

std::vector<uint16_t> rgbSamples(const Image& image, bool alpha) {
    std::vector<uint16_t> values;
    for (uint32_t p : image.pixels) {
        values.push_back(static_cast<uint16_t>(redOf(p)));
        values.push_back(static_cast<uint16_t>(greenOf(p)));
        values.push_back(static_cast<uint16_t>(blueOf(p)));
        if (alpha) values.push_back(static_cast<uint16_t>(alphaOf(p)));
    }
    return values;
}

namespace {

// Packs `count` samples (every `stride`-th from `first`) at `bits` each, high bits first.
std::vector<uint8_t> packSamples(const uint16_t* values, size_t count, size_t stride, int bits) {
    std::vector<uint8_t> out((count * bits + 7) / 8, 0);
    for (size_t i = 0; i < count; ++i) {
        const uint16_t v = values[i * stride];
        if (bits == 16) {
            std::memcpy(out.data() + 2 * i, &v, 2);
        } else if (bits == 8) {
            out[i] = static_cast<uint8_t>(v);
        } else {
            const size_t bit = i * bits;
            out[bit / 8] |= static_cast<uint8_t>(v << (8 - bits - bit % 8));
        }
    }
    return out;
}

void writeTiffPage(TIFF* tif, const TiffMaking& m) {
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, m.width);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, m.height);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, m.bits);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, m.samples);
    if (m.sampleFormat != SAMPLEFORMAT_UINT)
        TIFFSetField(tif, TIFFTAG_SAMPLEFORMAT, m.sampleFormat);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, m.compression);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, m.jpegRgb ? PHOTOMETRIC_YCBCR : m.photometric);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, m.planes ? PLANARCONFIG_SEPARATE : PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_ORIENTATION, m.orientation);
    if (m.compression == COMPRESSION_JPEG) {
        TIFFSetField(tif, TIFFTAG_JPEGQUALITY, 100);
        if (m.jpegRgb) {
            TIFFSetField(tif, TIFFTAG_YCBCRSUBSAMPLING, 1, 1);
            TIFFSetField(tif, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
        }
    }
    if (m.extraSample >= 0) {
        const uint16_t kinds[1] = {static_cast<uint16_t>(m.extraSample)};
        TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, kinds);
    }
    if (!m.colourMap.empty()) {
        const size_t n = size_t{1} << m.bits;
        TIFFSetField(tif, TIFFTAG_COLORMAP, m.colourMap.data(), m.colourMap.data() + n,
                     m.colourMap.data() + 2 * n);
    }
    if (m.xResolution > 0) {
        TIFFSetField(tif, TIFFTAG_XRESOLUTION, m.xResolution);
        TIFFSetField(tif, TIFFTAG_YRESOLUTION, m.yResolution);
        TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, m.resolutionUnit);
    }
    if (!m.profile.empty()) {
        TIFFSetField(tif, TIFFTAG_ICCPROFILE, static_cast<uint32_t>(m.profile.size()),
                     m.profile.data());
    }
    const int planes = m.planes ? m.samples : 1;
    if (!m.tiled) {
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, m.rowsPerStrip);
        for (int plane = 0; plane < planes; ++plane) {
            for (uint32_t y = 0; y < m.height; ++y) {
                const uint16_t* from =
                    m.values.data() + static_cast<size_t>(y) * m.width * m.samples;
                std::vector<uint8_t> row =
                    m.planes
                        ? packSamples(from + plane, m.width, m.samples, m.bits)
                        : packSamples(from, static_cast<size_t>(m.width) * m.samples, 1, m.bits);
                if (TIFFWriteScanline(tif, row.data(), y, static_cast<uint16_t>(plane)) < 0) {
                    throw std::runtime_error("TIFF row not written");
                }
            }
        }
    } else {
        TIFFSetField(tif, TIFFTAG_TILEWIDTH, m.tileSide);
        TIFFSetField(tif, TIFFTAG_TILELENGTH, m.tileSide);
        const size_t tileBytes = static_cast<size_t>(TIFFTileSize(tif));
        const size_t tileRowBytes = static_cast<size_t>(TIFFTileRowSize(tif));
        for (int plane = 0; plane < planes; ++plane) {
            for (uint32_t y0 = 0; y0 < m.height; y0 += m.tileSide) {
                for (uint32_t x0 = 0; x0 < m.width; x0 += m.tileSide) {
                    std::vector<uint8_t> tile(tileBytes, 0);
                    for (uint32_t r = 0; r < m.tileSide && y0 + r < m.height; ++r) {
                        const uint32_t columns = std::min(m.tileSide, m.width - x0);
                        const uint16_t* from =
                            m.values.data() +
                            (static_cast<size_t>(y0 + r) * m.width + x0) * m.samples;
                        std::vector<uint8_t> row =
                            m.planes ? packSamples(from + plane, columns, m.samples, m.bits)
                                     : packSamples(from, static_cast<size_t>(columns) * m.samples,
                                                   1, m.bits);
                        std::memcpy(tile.data() + r * tileRowBytes, row.data(), row.size());
                    }
                    if (TIFFWriteTile(tif, tile.data(), x0, y0, 0, static_cast<uint16_t>(plane)) <
                        0) {
                        throw std::runtime_error("TIFF tile not written");
                    }
                }
            }
        }
    }
}

}  // namespace

std::vector<uint8_t> makeTiff(const TiffMaking& making) {
    const std::string path = makeTempDir() + "made.tif";
    TIFF* tif = TIFFOpen(path.c_str(), "w");
    if (!tif) throw std::runtime_error("TIFF not opened");
    for (int page = 0; page < making.pages; ++page) {
        writeTiffPage(tif, making);
        if (!TIFFWriteDirectory(tif)) throw std::runtime_error("TIFF page not written");
    }
    TIFFClose(tif);
    return readBytes(path);
}
