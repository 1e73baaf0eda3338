#include "midi_import.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <map>

namespace midiimport {

namespace {

constexpr uint32_t kMaxDelta = 0x0FFFFFFF;  // four bytes of variable-length quantity
constexpr size_t kMaxText = 127;            // one length byte that is also a VLQ

struct Event {
    uint64_t tick;
    std::vector<uint8_t> bytes;  // status and data, or FF type length data
};

std::string format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
std::string format(const char* fmt, ...) {
    char buffer[512];
    va_list args;
    va_start(args, fmt);
    vsnprintf(buffer, sizeof buffer, fmt, args);
    va_end(args);
    return buffer;
}

std::string printable(const uint8_t* p, size_t n) {
    std::string s;
    for (size_t i = 0; i < n; ++i) s += p[i] >= 0x20 && p[i] < 0x7F ? char(p[i]) : '?';
    return s;
}

const char* metaKind(uint8_t type) {
    switch (type) {
        case 0x00: return "sequence number";
        case 0x04: return "instrument name";
        case 0x05: return "lyric";
        case 0x06: return "marker";
        case 0x07: return "cue point";
        case 0x08: return "program name";
        case 0x09: return "device name";
        case 0x20: return "channel prefix";
        case 0x21: return "MIDI port";
        case 0x54: return "SMPTE offset";
        case 0x7F: return "sequencer-specific";
        default: return nullptr;
    }
}

class Importer {
public:
    Importer(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    Result run() {
        unwrapRiff();
        if (result_.error.empty()) readFile();
        result_.ok = result_.error.empty();
        if (!result_.ok) {
            result_.output.clear();
            return result_;
        }
        for (const auto& kind : dropped_) result_.dropped.push_back(kind);
        std::stable_sort(result_.dropped.begin(), result_.dropped.end(),
                         [](const auto& a, const auto& b) { return a.second > b.second; });
        return result_;
    }

private:
    bool refuse(const std::string& why) {
        if (result_.error.empty()) result_.error = why;
        return false;
    }
    void drop(const std::string& kind) { ++dropped_[kind]; }
    long offset(size_t at) const { return long(at + base_); }

    // An RMID file is a RIFF file whose "data" chunk holds the standard MIDI file.
    void unwrapRiff() {
        if (size_ < 12 || memcmp(data_, "RIFF", 4) != 0) return;
        if (memcmp(data_ + 8, "RMID", 4) != 0) {
            refuse(format("It is a RIFF file of kind \"%s\", not a MIDI file.", printable(data_ + 8, 4).c_str()));
            return;
        }
        size_t at = 12;
        while (at + 8 <= size_) {
            uint32_t length = uint32_t(data_[at + 4]) | uint32_t(data_[at + 5]) << 8 |
                              uint32_t(data_[at + 6]) << 16 | uint32_t(data_[at + 7]) << 24;
            if (memcmp(data_ + at, "data", 4) == 0) {
                size_t available = size_ - at - 8;
                base_ = at + 8;
                data_ += base_;
                size_ = std::min<size_t>(length, available);
                result_.notes.push_back("The MIDI file was taken out of its RIFF (RMID) wrapper.");
                return;
            }
            at += 8 + size_t(length) + (length & 1);
        }
        refuse("It is a RIFF MIDI (RMID) file without a \"data\" chunk.");
    }

    uint32_t be(size_t at, int n) const {
        uint32_t v = 0;
        for (int i = 0; i < n; ++i) v = v << 8 | data_[at + size_t(i)];
        return v;
    }

    void readFile() {
        if (size_ < 4 || memcmp(data_, "MThd", 4) != 0) {
            std::string start;
            for (size_t i = 0; i < size_ && i < 4; ++i) start += format("%s%02X", i ? " " : "", data_[i]);
            if (size_ == 0) {
                refuse("It is empty; a standard MIDI file starts with \"MThd\".");
            } else {
                refuse(format("It is not a standard MIDI file: it starts with %s (\"%s\") where \"MThd\" belongs.",
                              start.c_str(), printable(data_, std::min<size_t>(size_, 4)).c_str()));
            }
            return;
        }
        if (size_ < 14) {
            refuse(format("The file ends within its header (%zu bytes).", size_));
            return;
        }
        uint32_t headerLength = be(4, 4);
        if (headerLength < 6 || headerLength > size_ - 8) {
            refuse(format("The header chunk's length is %u; it is 6 (or more) and lies within the file.",
                          unsigned(headerLength)));
            return;
        }
        result_.format = int(be(8, 2));
        uint32_t counted = be(10, 2);
        result_.division = uint16_t(be(12, 2));
        if (result_.format > 2) {
            refuse(format("MIDI file format %d is unknown; standard MIDI files are format 0, 1 or 2.", result_.format));
            return;
        }
        if (result_.division == 0) {
            refuse("The header gives 0 ticks per quarter note.");
            return;
        }
        if (result_.division & 0x8000) {
            result_.notes.push_back(
                format("The file counts time in SMPTE frames (division %04X); the engine reads the value as ticks "
                       "per quarter note.", unsigned(result_.division)));
        }

        std::vector<std::vector<uint8_t>> chunks;
        size_t at = 8 + headerLength;
        while (at + 8 <= size_) {
            uint32_t length = be(at + 4, 4);
            if (length > size_ - at - 8) {
                refuse(format("The chunk at byte %ld is %u bytes long, but only %zu bytes follow it (truncated "
                              "file?).", offset(at), unsigned(length), size_ - at - 8));
                return;
            }
            if (memcmp(data_ + at, "MTrk", 4) == 0) {
                std::vector<uint8_t> track;
                if (!readTrack(at + 8, at + 8 + length, int(chunks.size()) + 1, &track)) return;
                chunks.push_back(std::move(track));
            } else {
                drop("chunk \"" + printable(data_ + at, 4) + "\"");
            }
            at += 8 + size_t(length);
        }
        if (chunks.size() != counted) {
            result_.notes.push_back(format("The header counts %u track chunks; the file holds %zu, and all of them "
                                           "were read.", unsigned(counted), chunks.size()));
        }
        if (chunks.size() > 0xFFFF) {
            refuse(format("The file holds %zu track chunks; a MIDI file counts at most 65535.", chunks.size()));
            return;
        }
        result_.tracks = int(chunks.size());
        if (highBitBytes_ == 1) {
            result_.notes.push_back(format("A data byte had its high bit set and was read with it cleared: %02X, the %s.",
                                           firstHighBitValue_, firstHighBit_.c_str()));
        } else if (highBitBytes_ > 1) {
            result_.notes.push_back(format("%zu data bytes had their high bit set and were read with it cleared; the "
                                           "first: %02X, the %s.", highBitBytes_, firstHighBitValue_,
                                           firstHighBit_.c_str()));
        }

        std::vector<uint8_t>& out = result_.output;
        out = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, uint8_t(result_.format), uint8_t(chunks.size() >> 8),
               uint8_t(chunks.size()), uint8_t(result_.division >> 8), uint8_t(result_.division)};
        for (const auto& track : chunks) {
            uint32_t n = uint32_t(track.size());
            out.insert(out.end(), {'M', 'T', 'r', 'k', uint8_t(n >> 24), uint8_t(n >> 16), uint8_t(n >> 8), uint8_t(n)});
            out.insert(out.end(), track.begin(), track.end());
        }
    }

    // Reads the events of the track chunk between begin and end (offsets in data_) and
    // writes the kept ones to *out.
    bool readTrack(size_t begin, size_t end, int number, std::vector<uint8_t>* out) {
        std::vector<Event> kept;
        bool named = false;
        uint64_t tick = 0, endOfTrack = 0;
        uint8_t running = 0;  // the last channel status; meta and SysEx events leave it
        size_t at = begin;
        auto where = [&](size_t p) { return format("in track %d at byte %ld", number, offset(p)); };
        auto need = [&](size_t p, size_t n) {
            if (p <= end && end - p >= n) return true;
            return refuse(format("An event %s runs past the end of its track chunk (byte %ld).", where(p).c_str(),
                                 offset(end)));
        };
        auto varLen = [&](size_t* p, uint32_t* value) {
            *value = 0;
            for (int i = 0; i < 4; ++i) {
                if (!need(*p, 1)) return false;
                uint8_t byte = data_[(*p)++];
                *value = *value << 7 | (byte & 0x7F);
                if (!(byte & 0x80)) return true;
            }
            return refuse(format("A variable-length number %s is longer than four bytes.", where(*p - 4).c_str()));
        };
        while (at < end) {
            uint32_t delta;
            if (!varLen(&at, &delta)) return false;
            tick += delta;
            if (tick > 0xFFFFFFFFull) return refuse(format("Track %d runs past 2^32 ticks.", number));
            if (!need(at, 1)) return false;
            size_t eventAt = at;
            uint8_t status = data_[at];
            if (status & 0x80) {
                ++at;
            } else if (running) {
                status = running;
            } else {
                return refuse(format("The data byte %02X %s has no status byte before it in its track.",
                                     data_[at], where(at).c_str()));
            }
            ++result_.eventsRead;
            if (status < 0xF0) {
                running = status;
                size_t dataBytes = (status >> 4) == 0xC || (status >> 4) == 0xD ? 1 : 2;
                if (!need(at, dataBytes)) return false;
                // Some songwriting programs write a data byte with its high bit set (a
                // velocity of CC); common readers take the byte in its place with the bit
                // cleared, and so does this one, counting each for the report.
                uint8_t bytes[2];
                for (size_t i = 0; i < dataBytes; ++i) {
                    bytes[i] = data_[at + i] & 0x7F;
                    if (bytes[i] == data_[at + i]) continue;
                    if (highBitBytes_++ == 0) {
                        firstHighBit_ = format("%s of the event %02X %s, read as %02X", dataByteName(status, i),
                                               status, where(eventAt).c_str(), bytes[i]);
                        firstHighBitValue_ = data_[at + i];
                    }
                }
                switch (status >> 4) {
                    case 0xC: drop("program change"); break;
                    case 0xE: drop("pitch bend"); break;
                    default: {
                        Event e{tick, {status}};
                        e.bytes.insert(e.bytes.end(), bytes, bytes + dataBytes);
                        kept.push_back(std::move(e));
                    }
                }
                at += dataBytes;
            } else if (status == 0xF0 || status == 0xF7) {
                uint32_t length;
                if (!varLen(&at, &length) || !need(at, length)) return false;
                drop(status == 0xF0 ? "SysEx" : "SysEx continuation (F7)");
                at += length;
            } else if (status == 0xFF) {
                if (!need(at, 1)) return false;
                uint8_t type = data_[at++];
                uint32_t length;
                if (!varLen(&at, &length) || !need(at, length)) return false;
                const uint8_t* body = data_ + at;
                at += length;
                if (!meta(type, body, length, tick, &named, &endOfTrack, &kept)) return false;
            } else {
                return refuse(format("The status byte %02X %s is no event of a MIDI file (system common and "
                                     "real-time messages are not stored in files).",
                                     status, where(eventAt).c_str()));
            }
        }

        size_t fromInput = kept.size();
        if (!named) {
            std::string name = format("Track %d", number);
            Event e{0, {0xFF, 0x03, uint8_t(name.size())}};
            e.bytes.insert(e.bytes.end(), name.begin(), name.end());
            kept.insert(kept.begin(), std::move(e));
            result_.namedTracks.push_back(name);
        }
        uint64_t last = kept.empty() ? 0 : kept.back().tick;
        kept.push_back({std::max(endOfTrack, last), {0xFF, 0x2F, 0x00}});
        uint64_t previous = 0;
        for (size_t i = 0; i < kept.size(); ++i) {
            uint64_t delta = kept[i].tick - previous;
            if (delta > kMaxDelta) {
                return refuse(format("Track %d has a gap of %llu ticks between two kept events; a delta time holds "
                                     "at most %u.", number, static_cast<unsigned long long>(delta), unsigned(kMaxDelta)));
            }
            previous = kept[i].tick;
            uint8_t vlq[4];
            int n = 0;
            uint32_t v = uint32_t(delta);
            vlq[n++] = uint8_t(v & 0x7F);
            while (v >>= 7) vlq[n++] = uint8_t(0x80 | (v & 0x7F));
            while (n) out->push_back(vlq[--n]);
            out->insert(out->end(), kept[i].bytes.begin(), kept[i].bytes.end());
        }
        result_.eventsKept += fromInput;
        return true;
    }

    // A text as the engine keeps it: up to its first zero byte, at most kMaxText bytes,
    // not cut inside a UTF-8 sequence.
    std::vector<uint8_t> engineText(const uint8_t* body, uint32_t length, const char* kind) {
        size_t n = 0;
        while (n < length && body[n]) ++n;
        if (n > kMaxText) {
            size_t cut = kMaxText;
            while (cut > 0 && (body[cut] & 0xC0) == 0x80) --cut;
            if (cut == 0) cut = kMaxText;
            result_.notes.push_back(format("A %s of %zu bytes was shortened to %zu.", kind, n, cut));
            n = cut;
        }
        return std::vector<uint8_t>(body, body + n);
    }

    bool meta(uint8_t type, const uint8_t* body, uint32_t length, uint64_t tick, bool* named,
              uint64_t* endOfTrack, std::vector<Event>* kept) {
        auto keep = [&](std::vector<uint8_t> data) {
            Event e{tick, {0xFF, type, uint8_t(data.size())}};
            e.bytes.insert(e.bytes.end(), data.begin(), data.end());
            kept->push_back(std::move(e));
        };
        auto keepText = [&](bool* once, const char* kind) {
            std::vector<uint8_t> text = engineText(body, length, kind);
            if (text.empty()) {
                drop(std::string("empty ") + kind);
            } else if (*once) {
                drop(std::string("second ") + kind);
            } else {
                *once = true;
                keep(std::move(text));
            }
        };
        switch (type) {
            case 0x01: keepText(&haveText_, "text"); return true;
            case 0x02: keepText(&haveCopyright_, "copyright"); return true;
            case 0x03: keepText(named, "track name"); return true;
            case 0x2F: *endOfTrack = std::max(*endOfTrack, tick); return true;
            case 0x51:
                if (length == 3 && (body[0] | body[1] | body[2])) keep(std::vector<uint8_t>(body, body + 3));
                else drop("damaged tempo");
                return true;
            case 0x58:
                if (length == 4) keep(std::vector<uint8_t>(body, body + 4));
                else drop("damaged time signature");
                return true;
            case 0x59:
                if (length == 2) keep(std::vector<uint8_t>(body, body + 2));
                else drop("damaged key signature");
                return true;
            default: {
                const char* kind = metaKind(type);
                drop(kind ? kind : format("meta event FF %02X", type));
                return true;
            }
        }
    }

    // What the second (index 1) or first data byte of a channel event with this status is.
    static const char* dataByteName(uint8_t status, size_t index) {
        switch (status >> 4) {
            case 0x8: case 0x9: return index ? "velocity" : "note";
            case 0xA: return index ? "pressure" : "note";
            case 0xB: return index ? "value" : "controller";
            case 0xC: return "program";
            case 0xD: return "pressure";
            default: return index ? "high byte" : "low byte";  // pitch bend
        }
    }

    const uint8_t* data_;
    size_t size_;
    size_t highBitBytes_ = 0;         // data bytes read with their high bit cleared
    std::string firstHighBit_;        // the first of them: which byte, where, read as what
    uint8_t firstHighBitValue_ = 0;
    size_t base_ = 0;  // offset of data_ in the file (past an RMID wrapper)
    bool haveText_ = false, haveCopyright_ = false;
    std::map<std::string, size_t> dropped_;
    Result result_;
};

}  // namespace

Result importMidi(const uint8_t* data, size_t size) { return Importer(data, size).run(); }

}  // namespace midiimport
