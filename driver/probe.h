// The GL capability probe: which texture-object and vertex-array entry points
// the driver uses. Process-wide, null at load; a probe overwrites what it
// sets and leaves the others as an earlier probe left them.
#pragma once

#include <GL/gl.h>

struct CapabilityEntryPoints {
    void(APIENTRY* bindTexture)(GLenum target, GLuint texture);
    void(APIENTRY* genTextures)(GLsizei count, GLuint* textures);
    void(APIENTRY* deleteTextures)(GLsizei count, const GLuint* textures);
    void(APIENTRY* vertexPointerExt)(GLint size, GLenum type, GLsizei stride, GLsizei count, const void* pointer);
    void(APIENTRY* vertexPointer)(GLint size, GLenum type, GLsizei stride, const void* pointer);
    void(APIENTRY* arrayElement)(GLint index);
};

extern CapabilityEntryPoints capabilities;

// Runs with the new channel's context current.
void ProbeCapabilities();
