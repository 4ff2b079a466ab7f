// The recorder's interface where calls cannot be interposed (the system's
// opengl32.dll is called directly): it records nothing. The cases that look
// at recorded calls stay Linux-only (tests/linux_only_cases.sh).
#include "gl_recorder.h"

namespace recorder {

namespace {
const std::vector<GlCall> kNone;
}

void Start() {}
void Stop() {}
const std::vector<GlCall>& Calls() { return kNone; }
std::vector<std::string> Names() { return {}; }
size_t Count(const std::string&) { return 0; }
size_t Count(const std::string&, const std::vector<double>&) { return 0; }
std::vector<GlCall> CallsNamed(const std::string&) { return {}; }
void OverrideString(GLenum, const char*) {}
void NullString(GLenum) {}

}  // namespace recorder
