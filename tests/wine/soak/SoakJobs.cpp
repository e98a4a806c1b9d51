#include "tests/wine/soak/SoakJobs.h"

#include <cstdint>
#include <cstdio>
#include <sstream>

namespace soak {
namespace {

const char kBegin[] = "{JOB ";

std::uint32_t Fnv1a(const std::string& bytes) {
    std::uint32_t hash = 2166136261u;
    for (unsigned char c : bytes) hash = (hash ^ c) * 16777619u;
    return hash;
}

std::string Body(const std::string& id, std::size_t length) {
    std::uint32_t state = Fnv1a(id);
    std::string body(length, '\0');
    for (char& c : body) {
        state = state * 1664525u + 1013904223u;
        c = static_cast<char>('a' + (state >> 24) % 26);
    }
    return body;
}

std::string Hex(std::uint32_t value) {
    char text[9];
    std::snprintf(text, sizeof text, "%08x", static_cast<unsigned>(value));
    return text;
}

struct Header {
    std::string id;
    std::size_t length = 0;
    std::string checksum;
    std::size_t size = 0;  // of the header itself
};

bool ParseHeader(const std::string& capture, std::size_t at, Header* header) {
    const std::size_t close = capture.find('}', at);
    if (close == std::string::npos) return false;
    std::istringstream fields(capture.substr(at + 5, close - at - 5));
    if (!(fields >> header->id >> header->length >> header->checksum)) return false;
    header->size = close + 1 - at;
    return true;
}

}  // namespace

std::string JobBytes(const std::string& id, std::size_t bodyLength) {
    const std::string body = Body(id, bodyLength);
    return kBegin + id + " " + std::to_string(bodyLength) + " " + Hex(Fnv1a(body)) + "}" + body +
           "{END " + id + "}";
}

CaptureReading ReadCapture(const std::string& capture) {
    CaptureReading reading;
    std::size_t at = 0;
    while (at < capture.size()) {
        Header header;
        if (capture.compare(at, 5, kBegin) != 0 || !ParseHeader(capture, at, &header)) {
            reading.faults.push_back("no job begins at byte " + std::to_string(at));
            return reading;
        }
        const std::size_t bodyAt = at + header.size;
        const std::string end = "{END " + header.id + "}";
        const bool whole = capture.size() >= bodyAt + header.length + end.size() &&
                           capture.compare(bodyAt + header.length, end.size(), end) == 0 &&
                           Hex(Fnv1a(capture.substr(bodyAt, header.length))) == header.checksum;
        Arrivals& arrivals = reading.jobs[header.id];
        if (whole) {
            ++arrivals.complete;
            at = bodyAt + header.length + end.size();
            continue;
        }
        // Cut short: what arrived must be the start of the job as it was made.
        std::size_t next = capture.find(kBegin, at + 1);
        if (next == std::string::npos) next = capture.size();
        const std::string expected = JobBytes(header.id, header.length);
        if (expected.compare(0, next - at, capture, at, next - at) != 0)
            reading.faults.push_back("job " + header.id + " garbled at byte " + std::to_string(at));
        ++arrivals.partial;
        if (arrivals.complete > 0) arrivals.partialAfterComplete = true;
        at = next;
    }
    return reading;
}

}  // namespace soak
