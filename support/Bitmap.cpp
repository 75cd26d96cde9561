#include "support/Bitmap.h"

#include "base/AtomicFile.h"
#include "base/ByteOrder.h"

#include <climits>
#include <cstring>
#include <sys/stat.h>

namespace
{
constexpr std::uint32_t kFileHeaderSize = 14;
constexpr std::uint32_t kInfoHeaderSize = 40;
constexpr std::uint32_t kCoreHeaderSize = 12;
constexpr std::uint32_t kCompressionNone = 0;
constexpr std::uint32_t kCompressionBitFields = 3;

// Byte offset of a 32-bit pixel's channel; only whole-byte masks (0xFF << 8k) are accepted.
int MaskShift(std::uint32_t mask)
{
    for (int shift = 0; shift < 32; shift += 8)
        if (mask == (0xFFu << shift))
            return shift;
    return -1;
}

long long FileLength(std::FILE* file)
{
    struct stat info
    {
    };
    if (::fstat(::fileno(file), &info) != 0 || !S_ISREG(info.st_mode))
        return -1;
    return static_cast<long long>(info.st_size);
}

long long StoredRowBytes(long long width, int bits)
{
    return ((width * bits + 31) / 32) * 4;
}

bool ReadExactly(std::FILE* file, void* dest, std::size_t size)
{
    return std::fread(dest, 1, size, file) == size;
}
} // namespace

BmpReader::~BmpReader()
{
    close();
}

void BmpReader::close()
{
    if (m_file != nullptr)
        std::fclose(m_file);
    m_file = nullptr;
    m_width = m_height = m_bitCount = m_rowsRead = 0;
    m_row.clear();
}

Status BmpReader::open(const char* path)
{
    close();
    m_file = std::fopen(path, "rb");
    if (m_file == nullptr)
        return {StatusCode::cannotOpen, std::string("cannot open the file: ") + std::strerror(errno)};
    const auto fail = [&](const char* why)
    {
        close();
        return Status(StatusCode::invalidInput, why);
    };
    const long long fileLength = FileLength(m_file);
    // The largest header we read plus the three masks that may follow a 40-byte header.
    std::uint8_t head[kFileHeaderSize + 124 + 12] = {};
    if (fileLength < kFileHeaderSize + kCoreHeaderSize || !ReadExactly(m_file, head, kFileHeaderSize + 4))
        return fail("the file is too short for a BMP");
    if (head[0] != 'B' || head[1] != 'M')
        return fail("not a BMP file");
    const std::uint32_t pixelOffset = ReadLe32(head + 10);
    const std::uint32_t headerSize = ReadLe32(head + 14);
    if (headerSize != kCoreHeaderSize && headerSize != 40 && headerSize != 52 && headerSize != 56 &&
        headerSize != 108 && headerSize != 124)
        return fail("unsupported BMP header");
    if (kFileHeaderSize + headerSize > fileLength)
        return fail("the BMP file is truncated");
    const bool core = headerSize == kCoreHeaderSize;
    std::uint32_t extra = headerSize - 4;
    if (!ReadExactly(m_file, head + kFileHeaderSize + 4, extra))
        return fail("the BMP file is truncated");
    const std::uint8_t* info = head + kFileHeaderSize;
    long long width = 0;
    long long height = 0;
    std::uint32_t compression = kCompressionNone;
    std::uint32_t colorsUsed = 0;
    if (core)
    {
        width = ReadLe16(info + 4);
        height = ReadLe16(info + 6);
        m_bitCount = ReadLe16(info + 10);
    }
    else
    {
        width = static_cast<std::int32_t>(ReadLe32(info + 4));
        height = static_cast<std::int32_t>(ReadLe32(info + 8));
        m_bitCount = ReadLe16(info + 14);
        compression = ReadLe32(info + 16);
        colorsUsed = ReadLe32(info + 32);
    }
    if (m_bitCount != 1 && m_bitCount != 4 && m_bitCount != 8 && m_bitCount != 24 && m_bitCount != 32)
        return fail("unsupported BMP bit depth");
    std::uint32_t tableOffset = kFileHeaderSize + headerSize;
    m_masks[0] = 0x00FF0000u;
    m_masks[1] = 0x0000FF00u;
    m_masks[2] = 0x000000FFu;
    if (compression == kCompressionBitFields && m_bitCount == 32)
    {
        if (headerSize == kInfoHeaderSize)
        {
            // The three masks follow a plain information header.
            if (tableOffset + 12 > fileLength || !ReadExactly(m_file, head + tableOffset, 12))
                return fail("the BMP file is truncated");
            tableOffset += 12;
        }
        for (int c = 0; c < 3; ++c)
            m_masks[c] = ReadLe32(info + 40 + 4 * c);
        if (MaskShift(m_masks[0]) < 0 || MaskShift(m_masks[1]) < 0 || MaskShift(m_masks[2]) < 0)
            return fail("unsupported BMP colour masks");
    }
    else if (compression != kCompressionNone)
        return fail("compressed BMP files are not supported");
    m_topDown = height < 0;
    if (m_topDown)
        height = -height;
    if (width <= 0 || height <= 0 || width > INT_MAX / 4 || height > INT_MAX / 4)
        return fail("the BMP has an invalid size");
    m_width = static_cast<int>(width);
    m_height = static_cast<int>(height);

    if (m_bitCount <= 8)
    {
        const std::uint32_t maxColors = 1u << m_bitCount;
        const std::uint32_t colors = colorsUsed == 0 || colorsUsed > maxColors ? maxColors : colorsUsed;
        const std::uint32_t entrySize = core ? 3 : 4;
        if (tableOffset + std::uint64_t(colors) * entrySize > std::uint64_t(fileLength))
            return fail("the BMP file is truncated");
        std::uint8_t table[256 * 4];
        if (std::fseek(m_file, tableOffset, SEEK_SET) != 0 || !ReadExactly(m_file, table, colors * entrySize))
            return fail("the BMP file is truncated");
        std::memset(m_palette, 0, sizeof m_palette);
        for (std::uint32_t i = 0; i < colors; ++i)
            m_palette[i] = {table[i * entrySize], table[i * entrySize + 1], table[i * entrySize + 2], 0};
    }
    const long long rowBytes = StoredRowBytes(width, m_bitCount);
    if (pixelOffset < tableOffset || pixelOffset + rowBytes * height > fileLength)
        return fail("the BMP file is truncated");
    if (std::fseek(m_file, pixelOffset, SEEK_SET) != 0)
        return fail("the BMP file is truncated");
    m_row.assign(static_cast<std::size_t>(rowBytes), 0);
    m_rowsRead = 0;
    return Ok();
}

bool BmpReader::readRow(std::uint8_t* bgr, int& imageRow)
{
    if (m_file == nullptr || m_rowsRead >= m_height || !ReadExactly(m_file, m_row.data(), m_row.size()))
        return false;
    imageRow = m_topDown ? m_rowsRead : m_height - 1 - m_rowsRead;
    ++m_rowsRead;
    const std::uint8_t* in = m_row.data();
    const auto putIndex = [&](int x, unsigned index)
    {
        const RGBQUAD_& c = m_palette[index];
        bgr[3 * x] = c.blue;
        bgr[3 * x + 1] = c.green;
        bgr[3 * x + 2] = c.red;
    };
    switch (m_bitCount)
    {
    case 1:
        for (int x = 0; x < m_width; ++x)
            putIndex(x, (in[x >> 3] >> (7 - (x & 7))) & 1u);
        break;
    case 4:
        for (int x = 0; x < m_width; ++x)
            putIndex(x, (x & 1) ? in[x >> 1] & 0x0Fu : unsigned(in[x >> 1]) >> 4);
        break;
    case 8:
        for (int x = 0; x < m_width; ++x)
            putIndex(x, in[x]);
        break;
    case 24:
        std::memcpy(bgr, in, std::size_t(m_width) * 3);
        break;
    default:
    {
        const int shiftR = MaskShift(m_masks[0]);
        const int shiftG = MaskShift(m_masks[1]);
        const int shiftB = MaskShift(m_masks[2]);
        for (int x = 0; x < m_width; ++x)
        {
            const std::uint32_t v = ReadLe32(in + 4 * x);
            bgr[3 * x] = static_cast<std::uint8_t>(v >> shiftB);
            bgr[3 * x + 1] = static_cast<std::uint8_t>(v >> shiftG);
            bgr[3 * x + 2] = static_cast<std::uint8_t>(v >> shiftR);
        }
        break;
    }
    }
    return true;
}

bool LoadBitmap24(BITMAP_* bitmap, const char* path)
{
    *bitmap = BITMAP_{};
    BmpReader reader;
    if (!reader.open(path))
        return false;
    const long long bytesPerRow = (static_cast<long long>(reader.width()) * 3 + 3) & ~3LL;
    if (bytesPerRow * reader.height() > INT_MAX)
        return false;
    InitBitmap(bitmap, reader.width(), reader.height(), 24);
    for (int i = 0; i < reader.height(); ++i)
    {
        // Rows arrive in file order: a bottom-up file's i-th row is stored row i, a top-down
        // file's is image row i.
        const int storedRow = reader.topDown() ? bitmap->height - 1 - i : i;
        int imageRow = 0;
        if (!reader.readRow(bitmap->data + std::ptrdiff_t(storedRow) * bitmap->bytesPerRow, imageRow))
        {
            FreeBitmap(bitmap);
            return false;
        }
    }
    return true;
}

void InitBitmap(BITMAP_* bitmap, int width, int height, unsigned char bits)
{
    *bitmap = BITMAP_{};
    if (width <= 0 || height <= 0 || (bits != 8 && bits != 24))
        return;
    const long long bytesPerRow = (static_cast<long long>(width) * (bits / 8) + 3) & ~3LL;
    const long long dataSize = bytesPerRow * height;
    if (dataSize > INT_MAX)
        return;
    bitmap->data = new std::uint8_t[static_cast<std::size_t>(dataSize)]();
    bitmap->width = width;
    bitmap->height = height;
    bitmap->bytesPerRow = static_cast<int>(bytesPerRow);
    bitmap->dataSize = static_cast<int>(dataSize);
    bitmap->info = new BITMAPINFO_{};
    BITMAPINFOHEADER_& header = bitmap->info->header;
    header.width = width;
    header.height = height;
    header.bitCount = bits;
    header.sizeImage = static_cast<std::uint32_t>(dataSize);
    if (bits == 8)
    {
        header.clrUsed = 256;
        for (int i = 0; i < 256; ++i)
        {
            const auto grey = static_cast<std::uint8_t>(i);
            bitmap->info->colors[i] = {grey, grey, grey, 0};
        }
    }
}

bool BmpWriter::open(const char* path, int width, int height, int bits, const RGBQUAD_* colors)
{
    m_file.discard();
    m_rowsLeft = 0;
    if (width <= 0 || height <= 0 || (bits != 8 && bits != 24) || (bits == 8 && colors == nullptr))
        return false;
    const long long rowBytes = StoredRowBytes(width, bits);
    const std::uint32_t tableBytes = bits == 8 ? 256 * 4 : 0;
    const std::uint32_t pixelOffset = kFileHeaderSize + kInfoHeaderSize + tableBytes;
    if (rowBytes * height > static_cast<long long>(INT_MAX) - pixelOffset)
        return false;
    const auto dataSize = static_cast<std::uint32_t>(rowBytes * height);

    std::uint8_t head[kFileHeaderSize + kInfoHeaderSize + 256 * 4] = {};
    head[0] = 'B';
    head[1] = 'M';
    WriteLe32(head + 2, pixelOffset + dataSize);
    WriteLe32(head + 10, pixelOffset);
    std::uint8_t* info = head + kFileHeaderSize;
    WriteLe32(info, kInfoHeaderSize);
    WriteLe32(info + 4, static_cast<std::uint32_t>(width));
    WriteLe32(info + 8, static_cast<std::uint32_t>(height));
    WriteLe16(info + 12, 1);
    WriteLe16(info + 14, static_cast<std::uint32_t>(bits));
    WriteLe32(info + 16, kCompressionNone);
    WriteLe32(info + 20, dataSize);
    WriteLe32(info + 24, 2835); // 72 dpi
    WriteLe32(info + 28, 2835);
    WriteLe32(info + 32, bits == 8 ? 256 : 0);
    for (std::uint32_t i = 0; i < tableBytes / 4; ++i)
    {
        std::uint8_t* entry = info + kInfoHeaderSize + 4 * i;
        entry[0] = colors[i].blue;
        entry[1] = colors[i].green;
        entry[2] = colors[i].red;
        entry[3] = colors[i].reserved;
    }
    if (!m_file.open(path) || !m_file.write(head, pixelOffset))
    {
        m_file.discard();
        return false;
    }
    m_bytesPerRow = static_cast<int>(rowBytes);
    m_rowsLeft = height;
    return true;
}

bool BmpWriter::writeRows(const std::uint8_t* rows, int count)
{
    if (count < 0 || count > m_rowsLeft)
        return false;
    m_rowsLeft -= count;
    return m_file.write(rows, std::size_t(count) * std::size_t(m_bytesPerRow));
}

bool BmpWriter::commit()
{
    if (m_rowsLeft != 0)
    {
        m_file.discard();
        return false;
    }
    return m_file.commit();
}

bool SaveBitmap(BITMAP_* bitmap, const char* path)
{
    if (bitmap == nullptr || bitmap->data == nullptr || bitmap->info == nullptr || bitmap->width <= 0 ||
        bitmap->height <= 0)
        return false;
    const int bits = bitmap->info->header.bitCount;
    if (bits != 8 && bits != 24)
        return false;
    const long long rowBytes = StoredRowBytes(bitmap->width, bits);
    if (bitmap->bytesPerRow != rowBytes || static_cast<long long>(bitmap->dataSize) < rowBytes * bitmap->height)
        return false;
    BmpWriter writer;
    return writer.open(path, bitmap->width, bitmap->height, bits, bitmap->info->colors) &&
           writer.writeRows(bitmap->data, bitmap->height) && writer.commit();
}

void FreeBitmap(BITMAP_* bitmap)
{
    if (bitmap == nullptr)
        return;
    delete[] bitmap->data;
    delete bitmap->info;
    *bitmap = BITMAP_{};
}
