// No print spooler here: a document is never in one's queue.
#include "platform/PrintSpooler.h"

namespace platform {
namespace {

class NoSpoolQueue : public SpoolQueue {
public:
    SpoolJobState Look(const std::string&, uint32_t) override { return SpoolJobState::Gone; }
};

}  // namespace

SpoolQueue& SystemSpoolQueue() {
    static NoSpoolQueue queue;
    return queue;
}

}  // namespace platform
