// The soak's jobs describe themselves, so a printer's capture can be checked
// without knowing in which order or when the jobs were relayed:
//   {JOB <id> <body length> <checksum>}<body>{END <id>}
// The body is lower-case letters that follow from the id alone.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <vector>

namespace soak {

std::string JobBytes(const std::string& id, std::size_t bodyLength);

struct Arrivals {
    int complete = 0;
    // Outputs that ended part-way: the job's first bytes, then the next job.
    int partial = 0;
    bool partialAfterComplete = false;
};

struct CaptureReading {
    std::map<std::string, Arrivals> jobs;
    // Bytes that are neither a whole job nor the beginning of one.
    std::vector<std::string> faults;
};

CaptureReading ReadCapture(const std::string& capture);

}  // namespace soak
