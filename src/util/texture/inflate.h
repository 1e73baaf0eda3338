// The engine's own zlib (RFC 1950) / DEFLATE (RFC 1951) decompressor. No checksum is
// verified. Decompressed bytes are handed to a sink one at a time, in stream order.
#pragma once

#include <cstddef>

class InflateSink {
public:
    virtual ~InflateSink() = default;
    // 1 to go on; any other value stops inflating.
    virtual int receiveByte(unsigned char byte) = 0;
};

// Why inflating ended. Only Finished means the final block was decoded completely;
// every other value is a silent stop with whatever was already handed to the sink.
enum class InflateEnd {
    Finished,     // a block with BFINAL set was decoded to its end
    SinkStopped,  // receiveByte returned something other than 1
    Truncated,    // the data ended inside the stream
    BadHeader,    // not deflate, preset dictionary, or a window above 32768 bytes
    BadBlock,     // block type 3
    BadCode,      // code lengths that over-subscribe, a bad repeat, an unassigned code
    BadSymbol,    // length symbol 286/287 or distance symbol 30/31
    BadDistance,  // distance beyond the window or before the start of the output
};

// Inflates a zlib stream of size bytes into sink.
InflateEnd inflateZlib(const unsigned char* data, size_t size, InflateSink* sink);

const char* inflateEndName(InflateEnd end);
