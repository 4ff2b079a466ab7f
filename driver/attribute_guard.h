// Restores the state that a glPushAttrib/glPopAttrib bracket should restore.
//
// Mesa 22.3 (Debian 12) loses changes made inside nested or combined
// attribute pushes: after push(GL_ENABLE_BIT), push(GL_LIGHTING_BIT), a
// glDisable and the two pops, the capability stays disabled (the pop skips
// groups it believes unchanged). The guard takes a snapshot of the enables,
// shade model and polygon mode before the bracket and puts back whatever the
// pops did not.
#pragma once

#include <GL/gl.h>

#include <initializer_list>

class AttributeGuard {
public:
    AttributeGuard(std::initializer_list<GLenum> capabilities);
    void restore() const;

private:
    static constexpr int kMaxCapabilities = 16;
    GLenum capabilities_[kMaxCapabilities];
    GLboolean enabled_[kMaxCapabilities];
    int count_ = 0;
    GLint shadeModel_ = GL_SMOOTH;
    GLint polygonMode_[2] = {GL_FILL, GL_FILL};
};
