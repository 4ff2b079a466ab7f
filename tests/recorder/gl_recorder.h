// The GL call recorder. Linked into a test program (which exports its
// symbols), it defines the GL, GLU and WGL functions the driver calls, and
// the host's light-point functions; each
// records its name and arguments while recording is on and forwards to the
// real function found after it in the lookup order (Mesa, GLU, the platform).
#pragma once

#include <GL/gl.h>

#include <cstddef>
#include <string>
#include <vector>

struct GlCall {
    std::string name;
    // Scalar arguments in order; the values behind a vector argument follow
    // the scalars (4 for colours and positions, 16 for matrices).
    std::vector<double> args;
};

namespace recorder {

void Start();      // clears the record and starts recording
void Stop();
const std::vector<GlCall>& Calls();
std::vector<std::string> Names();
size_t Count(const std::string& name);
// The calls of that name, in order.
std::vector<GlCall> CallsNamed(const std::string& name);
// Calls whose name and leading arguments match.
size_t Count(const std::string& name, const std::vector<double>& leadingArgs);

// Makes glGetString return value for name (null restores Mesa's answer).
void OverrideString(GLenum name, const char* value);
// Makes glGetString return null for name, until OverrideString of it.
void NullString(GLenum name);

}  // namespace recorder
