// Native builds keep their paths in UTF-8 already.
#include "platform/TextCodec.h"

namespace platform {

std::string AnsiToUtf8(const std::string& ansi) { return ansi; }

}  // namespace platform
