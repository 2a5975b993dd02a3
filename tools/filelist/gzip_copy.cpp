#include "tools/filelist/gzip_copy.h"

#include <zlib.h>

#include <cstring>

bool GzipBytes(const std::string& bytes, std::string* gzip) {
    z_stream stream;
    std::memset(&stream, 0, sizeof stream);
    // Window bits above 15 ask for a gzip wrapper instead of zlib's.
    if (deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return false;
    gz_header header;
    std::memset(&header, 0, sizeof header);
    header.os = 255;  // "unknown": zlib would name the system it was built for
    bool ok = deflateSetHeader(&stream, &header) == Z_OK;
    // avail_in is a 32-bit count: a larger list goes in pieces.
    const size_t kPiece = 1u << 30;
    size_t offset = 0;
    unsigned char block[65536];
    gzip->clear();
    int status = Z_OK;
    while (ok && status != Z_STREAM_END) {
        if (stream.avail_in == 0 && offset < bytes.size()) {
            const size_t length = bytes.size() - offset < kPiece ? bytes.size() - offset : kPiece;
            stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data() + offset));
            stream.avail_in = static_cast<uInt>(length);
            offset += length;
        }
        stream.next_out = block;
        stream.avail_out = sizeof block;
        status = deflate(&stream, offset == bytes.size() ? Z_FINISH : Z_NO_FLUSH);
        ok = status == Z_OK || status == Z_STREAM_END;
        gzip->append(reinterpret_cast<char*>(block), sizeof block - stream.avail_out);
    }
    deflateEnd(&stream);
    return ok;
}
