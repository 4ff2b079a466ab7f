#include "probe.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <strings.h>

CapabilityEntryPoints capabilities = {};

namespace {

// Entry points come back as untyped procedures; the cast goes through the
// generic function type that every function pointer converts to.
template <typename Function>
void Set(Function& target, PROC found)
{
    target = reinterpret_cast<Function>(reinterpret_cast<void (*)()>(found));
}

// Texture objects may be used unless the vendor is 3Dlabs or the environment
// says 0.
bool TextureObjectsPermitted()
{
    auto vendor = reinterpret_cast<const char*>(glGetString(GL_VENDOR));
    if (vendor != nullptr && strcasecmp(vendor, "3Dlabs") == 0) return false;
    const char* setting = std::getenv("GL_TEXTURE_OBJECT");
    return setting == nullptr || std::atoi(setting) != 0;
}

// A version whose first '.' is followed by '0' is 1.0. A version string
// without a '.' names no minor version at all and is taken as 1.1 or later.
bool IsVersion10(const char* version)
{
    const char* dot = std::strchr(version, '.');
    return dot != nullptr && dot[1] == '0';
}

void ProbeVersion10(bool texturesPermitted)
{
    auto extensions = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
    if (extensions == nullptr) return;
    if (std::strstr(extensions, "GL_EXT_vertex_array") != nullptr) {
        Set(capabilities.vertexPointerExt, wglGetProcAddress("glVertexPointerEXT"));
        Set(capabilities.arrayElement, wglGetProcAddress("glArrayElementEXT"));
        glEnable(GL_VERTEX_ARRAY);
    }
    if (texturesPermitted && std::strstr(extensions, "GL_EXT_texture_object") != nullptr) {
        Set(capabilities.bindTexture, wglGetProcAddress("glBindTextureEXT"));
        Set(capabilities.genTextures, wglGetProcAddress("glGenTexturesEXT"));
        Set(capabilities.deleteTextures, wglGetProcAddress("glDeleteTexturesEXT"));
    }
}

void ProbeVersion11()
{
    HMODULE library = GetModuleHandleA("opengl32.dll");
    auto lookUp = [library](const char* name) { return reinterpret_cast<PROC>(GetProcAddress(library, name)); };
    Set(capabilities.bindTexture, lookUp("glBindTexture"));
    Set(capabilities.genTextures, lookUp("glGenTextures"));
    Set(capabilities.deleteTextures, lookUp("glDeleteTextures"));
    Set(capabilities.vertexPointer, lookUp("glVertexPointer"));
    Set(capabilities.arrayElement, lookUp("glArrayElement"));
    void(APIENTRY * enableClientState)(GLenum) = nullptr;
    Set(enableClientState, lookUp("glEnableClientState"));
    if (enableClientState != nullptr) enableClientState(GL_VERTEX_ARRAY);
}

}  // namespace

void ProbeCapabilities()
{
    bool texturesPermitted = TextureObjectsPermitted();
    auto version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
    if (version == nullptr) return;
    if (IsVersion10(version))
        ProbeVersion10(texturesPermitted);
    else
        ProbeVersion11();
}
