#include "foundation/ui/SkinBitmap.h"

#include <QBuffer>
#include <QByteArray>
#include <QFile>
#include <QImageReader>

#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <vector>

#include <dirent.h>
#include <sys/stat.h>

// jpeglib.h needs size_t and FILE declared before it.
#include <jerror.h>
#include <jpeglib.h>

namespace ks {

namespace {

constexpr int MaxSide = 16384;
// Pictures are read into memory whole; this only stops a mistaken giant file.
constexpr std::int64_t MaxFileSize = 256 * 1024 * 1024;

bool IsRegularFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool EqualsNoCase(const char* a, const std::string& b) {
    std::size_t i = 0;
    for (; a[i] != 0 && i < b.size(); ++i) {
        char x = a[i];
        char y = b[i];
        if (x >= 'A' && x <= 'Z')
            x = static_cast<char>(x + 32);
        if (y >= 'A' && y <= 'Z')
            y = static_cast<char>(y + 32);
        if (x != y)
            return false;
    }
    return a[i] == 0 && i == b.size();
}

// The existing regular file whose name equals the last part of path without regard to ASCII case
// (the exact name first); empty when there is none.
std::string FindNoCase(const std::string& path) {
    if (path.empty())
        return {};
    if (IsRegularFile(path))
        return path;
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string(".") : path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr)
        return {};
    std::string found;
    while (const dirent* entry = ::readdir(dir)) {
        if (EqualsNoCase(entry->d_name, name)) {
            const std::string candidate =
                slash == std::string::npos ? std::string(entry->d_name) : folder + entry->d_name;
            if (IsRegularFile(candidate)) {
                found = candidate;
                break;
            }
        }
    }
    ::closedir(dir);
    return found;
}

std::uint32_t ReadLittle(const QByteArray& data, int offset, int size) {
    std::uint32_t value = 0;
    for (int i = size - 1; i >= 0; --i)
        value = value << 8 | static_cast<unsigned char>(data[offset + i]);
    return value;
}

// Qt's BMP reader accepts a file whose pixel rows were cut off and fills the rest; a skin
// picture that lost its end is damaged, so the pixel data the header describes must all be there.
bool BmpDataComplete(const QByteArray& data) {
    if (data.size() < 26)
        return false;
    const std::uint64_t offBits = ReadLittle(data, 10, 4);
    const std::uint32_t headerSize = ReadLittle(data, 14, 4);
    std::uint64_t width = 0;
    std::uint64_t height = 0;
    std::uint64_t bitCount = 0;
    std::uint32_t compression = 0;
    std::uint64_t sizeImage = 0;
    if (headerSize == 12) {
        width = ReadLittle(data, 18, 2);
        height = ReadLittle(data, 20, 2);
        bitCount = ReadLittle(data, 24, 2);
    } else {
        if (data.size() < 38)
            return false;
        // A negative height marks rows stored top-down.
        const auto side = [&](int offset) {
            const auto value =
                static_cast<std::int64_t>(static_cast<std::int32_t>(ReadLittle(data, offset, 4)));
            return static_cast<std::uint64_t>(value < 0 ? -value : value);
        };
        width = side(18);
        height = side(22);
        bitCount = ReadLittle(data, 28, 2);
        compression = ReadLittle(data, 30, 4);
        sizeImage = ReadLittle(data, 34, 4);
    }
    // Run-length encoded data has no fixed size; the header's image size is all there is.
    const bool runLength = compression == 1 || compression == 2;
    const std::uint64_t stride = (width * bitCount + 31) / 32 * 4;
    const std::uint64_t pixelBytes = runLength ? sizeImage : stride * height;
    return offBits + pixelBytes <= static_cast<std::uint64_t>(data.size());
}

// The common skin picture, an uncompressed 24-bit bitmap with a Windows info header, read straight
// into RGB888 rows: a plain byte swap per pixel, several times faster than the general decoder
// (the main window's background is read at every start). Anything else returns false and goes
// to the general decoder. data has passed BmpDataComplete.
bool ReadPlainBmp24(const QByteArray& data, QImage& bitmap) {
    if (data.size() < 54 || ReadLittle(data, 14, 4) < 40 || ReadLittle(data, 26, 2) != 1 ||
        ReadLittle(data, 28, 2) != 24 || ReadLittle(data, 30, 4) != 0)
        return false;
    const auto width = static_cast<std::int32_t>(ReadLittle(data, 18, 4));
    const auto rawHeight = static_cast<std::int32_t>(ReadLittle(data, 22, 4));
    if (width <= 0 || width > MaxSide || rawHeight == 0 || rawHeight < -MaxSide || rawHeight > MaxSide)
        return false;
    const bool topDown = rawHeight < 0;
    const int height = topDown ? -rawHeight : rawHeight;
    const std::int64_t stride = (static_cast<std::int64_t>(width) * 3 + 3) / 4 * 4;
    const std::int64_t offset = ReadLittle(data, 10, 4);
    if (offset < 54 || offset + stride * height > data.size())
        return false;
    QImage image(width, height, QImage::Format_RGB888);
    if (image.isNull())
        return false;
    const auto* bytes = reinterpret_cast<const uchar*>(data.constData()) + offset;
    for (int y = 0; y < height; ++y) {
        const uchar* in = bytes + stride * (topDown ? y : height - 1 - y);
        uchar* out = image.scanLine(y);
        for (int x = 0; x < width; ++x, in += 3, out += 3) {
            out[0] = in[2];
            out[1] = in[1];
            out[2] = in[0];
        }
    }
    bitmap = std::move(image);
    return true;
}

bool LoadBmp(const std::string& path, QImage& bitmap) {
    QFile file(QFile::decodeName(QByteArray::fromStdString(path)));
    if (!file.open(QIODevice::ReadOnly) || file.size() > MaxFileSize)
        return false;
    QByteArray data = file.readAll();
    if (!BmpDataComplete(data))
        return false;
    if (ReadPlainBmp24(data, bitmap))
        return true;
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "bmp");
    const QSize size = reader.size();
    if (!size.isValid() || size.width() > MaxSide || size.height() > MaxSide)
        return false;
    QImage image;
    if (!reader.read(&image) || image.isNull())
        return false;
    bitmap = image.convertToFormat(QImage::Format_RGB888);
    return !bitmap.isNull();
}

struct TJpegError {
    jpeg_error_mgr Manager;
    std::jmp_buf Jump;
};

struct TJpegState {
    jpeg_decompress_struct Info;
    TJpegError Error;
};

// libjpeg's default error_exit calls exit(); jumping back to the decoder turns every error into
// a failed load instead.
[[noreturn]] void JpegErrorExit(j_common_ptr info) {
    std::longjmp(reinterpret_cast<TJpegError*>(info->err)->Jump, 1);
}

// A file that ends early is decoded as grey filler with only a warning; a skin picture that lost
// its end is damaged, so that warning fails the load like an error.
void JpegEmitMessage(j_common_ptr info, int level) {
    if (level < 0 && info->err->msg_code == JWRN_JPEG_EOF)
        std::longjmp(reinterpret_cast<TJpegError*>(info->err)->Jump, 1);
}

void JpegOutputMessage(j_common_ptr) {}

// No C++ object with a destructor lives in this frame between setjmp and the jumps, and the
// libjpeg state is owned by the caller, so the longjmp skips nothing.
bool DecodeJpeg(TJpegState& state, const std::vector<unsigned char>& data, QImage& bitmap) {
    jpeg_decompress_struct& info = state.Info;
    info.err = jpeg_std_error(&state.Error.Manager);
    state.Error.Manager.error_exit = JpegErrorExit;
    state.Error.Manager.emit_message = JpegEmitMessage;
    state.Error.Manager.output_message = JpegOutputMessage;
    if (setjmp(state.Error.Jump) != 0) {
        jpeg_destroy_decompress(&info);
        bitmap = QImage();
        return false;
    }
    jpeg_create_decompress(&info);
    info.mem->max_memory_to_use = 512L * 1024 * 1024;
    jpeg_mem_src(&info, data.data(), static_cast<unsigned long>(data.size()));
    jpeg_read_header(&info, TRUE);
    if (info.image_width == 0 || info.image_height == 0 || info.image_width > MaxSide ||
        info.image_height > MaxSide) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    bitmap = QImage(static_cast<int>(info.output_width), static_cast<int>(info.output_height),
                    QImage::Format_RGB888);
    if (bitmap.isNull() || info.output_components != 3) {
        jpeg_destroy_decompress(&info);
        bitmap = QImage();
        return false;
    }
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = bitmap.scanLine(static_cast<int>(info.output_scanline));
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return true;
}

bool LoadJpeg(const std::string& path, QImage& bitmap) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in)
        return false;
    const std::streamoff size = in.tellg();
    if (size <= 0 || size > MaxFileSize)
        return false;
    in.seekg(0);
    std::vector<unsigned char> data(static_cast<std::size_t>(size));
    if (!in.read(reinterpret_cast<char*>(data.data()), size))
        return false;
    TJpegState state{};
    return DecodeJpeg(state, data, bitmap);
}

std::string UpperExtension(const std::string& fileName) {
    const std::size_t slash = fileName.rfind('/');
    const std::size_t dot = fileName.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return {};
    std::string ext = fileName.substr(dot + 1);
    for (char& c : ext) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 32);
    }
    return ext;
}

} // namespace

bool LoadSkinBitmap(const std::string& fileName, QImage& bitmap) {
    bitmap = QImage();
    const bool isBmp = UpperExtension(fileName) == "BMP";
    if (isBmp) {
        const std::string found = FindNoCase(fileName);
        if (!found.empty() && !LoadBmp(found, bitmap))
            bitmap = QImage();
    }
    if (bitmap.isNull()) {
        const std::string jpegName = isBmp ? fileName.substr(0, fileName.size() - 4) + ".jpg" : fileName;
        const std::string found = FindNoCase(jpegName);
        if (!found.empty() && !LoadJpeg(found, bitmap))
            bitmap = QImage();
    }
    return !bitmap.isNull();
}

} // namespace ks
