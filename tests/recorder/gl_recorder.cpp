#include "gl_recorder.h"

#include <dlfcn.h>
#include <windows.h>

#include <GL/glu.h>

#include "zqgd/host.h"

#include <cstdint>
#include <map>
#include <set>

namespace {

bool recording = false;
std::vector<GlCall> calls;
std::map<GLenum, std::string> strings;
std::set<GLenum> nulled;

void Record(const char* name, std::vector<double> args)
{
    if (recording) calls.push_back({name, std::move(args)});
}

template <typename Function>
Function Next(const char* name)
{
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

std::vector<double> With(std::vector<double> scalars, const GLfloat* values, int count)
{
    for (int i = 0; values != nullptr && i < count; ++i) scalars.push_back(values[i]);
    return scalars;
}

// How many floats a vector-valued light or fog parameter has.
int LightValues(GLenum pname)
{
    switch (pname) {
    case GL_AMBIENT:
    case GL_DIFFUSE:
    case GL_SPECULAR:
    case GL_POSITION:
    case GL_EMISSION:
    case GL_AMBIENT_AND_DIFFUSE:
    case GL_LIGHT_MODEL_AMBIENT:
    case GL_FOG_COLOR: return 4;
    case GL_SPOT_DIRECTION: return 3;
    default: return 1;
    }
}

double Handle(const void* pointer) { return static_cast<double>(reinterpret_cast<uintptr_t>(pointer) != 0); }

}  // namespace

#define D(x) static_cast<double>(x)
#define RECORDED(ret, name, params, call, ...)                                \
    extern "C" ret name params                                                \
    {                                                                         \
        Record(#name, __VA_ARGS__);                                           \
        static auto real = Next<decltype(&name)>(#name);                      \
        return real call;                                                     \
    }

RECORDED(void, glEnable, (GLenum cap), (cap), {D(cap)})
RECORDED(void, glDisable, (GLenum cap), (cap), {D(cap)})
RECORDED(void, glEnableClientState, (GLenum cap), (cap), {D(cap)})
RECORDED(void, glClearDepth, (GLclampd depth), (depth), {D(depth)})
RECORDED(void, glPixelStorei, (GLenum pname, GLint value), (pname, value), {D(pname), D(value)})
RECORDED(void, glMatrixMode, (GLenum mode), (mode), {D(mode)})
RECORDED(void, glLoadIdentity, (void), (), {})
RECORDED(void, glBlendFunc, (GLenum s, GLenum d), (s, d), {D(s), D(d)})
RECORDED(void, glAlphaFunc, (GLenum f, GLclampf ref), (f, ref), {D(f), D(ref)})
RECORDED(void, glHint, (GLenum target, GLenum mode), (target, mode), {D(target), D(mode)})
RECORDED(void, glLightModeli, (GLenum pname, GLint value), (pname, value), {D(pname), D(value)})
RECORDED(void, glLightModelfv, (GLenum pname, const GLfloat* v), (pname, v), With({D(pname)}, v, LightValues(pname)))
RECORDED(void, glLightfv, (GLenum l, GLenum pname, const GLfloat* v), (l, pname, v),
         With({D(l), D(pname)}, v, LightValues(pname)))
RECORDED(void, glLightf, (GLenum l, GLenum pname, GLfloat v), (l, pname, v), {D(l), D(pname), D(v)})
RECORDED(void, glFogi, (GLenum pname, GLint v), (pname, v), {D(pname), D(v)})
RECORDED(void, glFogf, (GLenum pname, GLfloat v), (pname, v), {D(pname), D(v)})
RECORDED(void, glFogfv, (GLenum pname, const GLfloat* v), (pname, v), With({D(pname)}, v, LightValues(pname)))
RECORDED(void, glScalef, (GLfloat x, GLfloat y, GLfloat z), (x, y, z), {D(x), D(y), D(z)})
RECORDED(void, glPushMatrix, (void), (), {})
RECORDED(void, glPopMatrix, (void), (), {})
RECORDED(void, glMultMatrixf, (const GLfloat* m), (m), With({}, m, 16))
RECORDED(void, glOrtho, (GLdouble l, GLdouble r, GLdouble b, GLdouble t, GLdouble n, GLdouble f),
         (l, r, b, t, n, f), {l, r, b, t, n, f})
RECORDED(void, glDrawBuffer, (GLenum mode), (mode), {D(mode)})
RECORDED(GLuint, glGenLists, (GLsizei range), (range), {D(range)})
RECORDED(void, glNewList, (GLuint list, GLenum mode), (list, mode), {D(list), D(mode)})
RECORDED(void, glEndList, (void), (), {})
RECORDED(void, glCallList, (GLuint list), (list), {D(list)})
RECORDED(void, glDeleteLists, (GLuint list, GLsizei range), (list, range), {D(list), D(range)})
RECORDED(void, glShadeModel, (GLenum mode), (mode), {D(mode)})
RECORDED(void, glPolygonMode, (GLenum face, GLenum mode), (face, mode), {D(face), D(mode)})
RECORDED(void, glScissor, (GLint x, GLint y, GLsizei w, GLsizei h), (x, y, w, h), {D(x), D(y), D(w), D(h)})
RECORDED(void, glViewport, (GLint x, GLint y, GLsizei w, GLsizei h), (x, y, w, h), {D(x), D(y), D(w), D(h)})
RECORDED(void, glClear, (GLbitfield mask), (mask), {D(mask)})
RECORDED(void, glClearColor, (GLclampf r, GLclampf g, GLclampf b, GLclampf a), (r, g, b, a),
         {D(r), D(g), D(b), D(a)})
RECORDED(void, glReadPixels, (GLint x, GLint y, GLsizei w, GLsizei h, GLenum f, GLenum t, GLvoid* p),
         (x, y, w, h, f, t, p), {D(x), D(y), D(w), D(h), D(f), D(t)})
RECORDED(void, glDrawPixels, (GLsizei w, GLsizei h, GLenum f, GLenum t, const GLvoid* p), (w, h, f, t, p),
         {D(w), D(h), D(f), D(t)})
RECORDED(void, glRasterPos2i, (GLint x, GLint y), (x, y), {D(x), D(y)})
RECORDED(void, glRecti, (GLint x1, GLint y1, GLint x2, GLint y2), (x1, y1, x2, y2), {D(x1), D(y1), D(x2), D(y2)})
RECORDED(void, glPushAttrib, (GLbitfield mask), (mask), {D(mask)})
RECORDED(void, glPopAttrib, (void), (), {})
RECORDED(void, glColor3fv, (const GLfloat* v), (v), With({}, v, 3))
RECORDED(void, glBegin, (GLenum mode), (mode), {D(mode)})
RECORDED(void, glEnd, (void), (), {})
RECORDED(void, glFlush, (void), (), {})
RECORDED(void, glFinish, (void), (), {})

RECORDED(void, glTexImage2D,
         (GLenum target, GLint level, GLint internal, GLsizei w, GLsizei h, GLint border, GLenum format, GLenum type,
          const GLvoid* pixels),
         (target, level, internal, w, h, border, format, type, pixels),
         {D(target), D(level), D(internal), D(w), D(h), D(border), D(format), D(type)})
RECORDED(void, glTexParameteri, (GLenum target, GLenum pname, GLint value), (target, pname, value),
         {D(target), D(pname), D(value)})
RECORDED(void, glTexEnvi, (GLenum target, GLenum pname, GLint value), (target, pname, value),
         {D(target), D(pname), D(value)})
RECORDED(void, glBindTexture, (GLenum target, GLuint name), (target, name), {D(target), D(name)})
RECORDED(void, glGenTextures, (GLsizei n, GLuint* names), (n, names), {D(n)})
RECORDED(void, glDeleteTextures, (GLsizei n, const GLuint* names), (n, names), {D(n), D(names[0])})
RECORDED(GLenum, glGetError, (void), (), {})
RECORDED(void, glColor4fv, (const GLfloat* v), (v), With({}, v, 4))

RECORDED(void, glVertex3fv, (const GLfloat* v), (v), With({}, v, 3))
RECORDED(void, glNormal3fv, (const GLfloat* v), (v), With({}, v, 3))
RECORDED(void, glTexCoord2fv, (const GLfloat* v), (v), With({}, v, 2))
RECORDED(void, glArrayElement, (GLint i), (i), {D(i)})
RECORDED(void, glVertexPointer, (GLint size, GLenum type, GLsizei stride, const GLvoid* p), (size, type, stride, p),
         {D(size), D(type), D(stride)})
RECORDED(void, glMaterialfv, (GLenum face, GLenum pname, const GLfloat* v), (face, pname, v),
         With({D(face), D(pname)}, v, 4))
RECORDED(void, glMaterialf, (GLenum face, GLenum pname, GLfloat v), (face, pname, v), {D(face), D(pname), D(v)})
RECORDED(void, glTranslatef, (GLfloat x, GLfloat y, GLfloat z), (x, y, z), {D(x), D(y), D(z)})
RECORDED(void, gluSphere, (GLUquadric * q, GLdouble radius, GLint slices, GLint stacks), (q, radius, slices, stacks),
         {radius, D(slices), D(stacks)})

RECORDED(void, glVertex2i, (GLint x, GLint y), (x, y), {D(x), D(y)})
RECORDED(void, glVertex2f, (GLfloat x, GLfloat y), (x, y), {D(x), D(y)})
RECORDED(void, glBitmap,
         (GLsizei w, GLsizei h, GLfloat xo, GLfloat yo, GLfloat xm, GLfloat ym, const GLubyte* bits),
         (w, h, xo, yo, xm, ym, bits), {D(w), D(h), D(xo), D(yo), D(xm), D(ym)})

RECORDED(GLint, gluBuild2DMipmaps,
         (GLenum target, GLint internal, GLsizei w, GLsizei h, GLenum format, GLenum type, const void* data),
         (target, internal, w, h, format, type, data), {D(target), D(internal), D(w), D(h), D(format), D(type)})
RECORDED(GLUquadric*, gluNewQuadric, (void), (), {})
RECORDED(void, gluDeleteQuadric, (GLUquadric * q), (q), {Handle(q)})
RECORDED(void, gluPerspective, (GLdouble fovy, GLdouble aspect, GLdouble zn, GLdouble zf), (fovy, aspect, zn, zf),
         {fovy, aspect, zn, zf})
RECORDED(void, gluOrtho2D, (GLdouble l, GLdouble r, GLdouble b, GLdouble t), (l, r, b, t), {l, r, b, t})

// The host's light-point functions, to see which the driver asks.
RECORDED(int32_t, ZqGBeaconFlash, (const void* flash, int32_t time), (flash, time), {D(time)})
RECORDED(float, ZqGBeaconHorizontalSector, (const float eye[3], const float at[3], const void* sector, float fade),
         (eye, at, sector, fade), {D(fade)})
RECORDED(float, ZqGBeaconVerticalSector, (const float eye[3], const float at[3], const void* sector, float fade),
         (eye, at, sector, fade), {D(fade)})

// wglMakeCurrent records 1 when it binds a context and 0 when it releases one.
RECORDED(BOOL, wglMakeCurrent, (HDC dc, HGLRC context), (dc, context), {Handle(context)})
RECORDED(BOOL, SwapBuffers, (HDC dc), (dc), {Handle(dc)})

extern "C" const GLubyte* glGetString(GLenum name)
{
    Record("glGetString", {D(name)});
    if (nulled.count(name) != 0) return nullptr;
    auto found = strings.find(name);
    if (found != strings.end()) return reinterpret_cast<const GLubyte*>(found->second.c_str());
    static auto real = Next<decltype(&glGetString)>("glGetString");
    return real(name);
}

namespace recorder {

void Start()
{
    calls.clear();
    recording = true;
}

void Stop() { recording = false; }

const std::vector<GlCall>& Calls() { return calls; }

std::vector<std::string> Names()
{
    std::vector<std::string> names;
    for (const GlCall& call : calls) names.push_back(call.name);
    return names;
}

size_t Count(const std::string& name) { return Count(name, {}); }

size_t Count(const std::string& name, const std::vector<double>& leadingArgs)
{
    size_t count = 0;
    for (const GlCall& call : calls) {
        if (call.name != name || call.args.size() < leadingArgs.size()) continue;
        bool match = true;
        for (size_t i = 0; i < leadingArgs.size(); ++i) match = match && call.args[i] == leadingArgs[i];
        count += match ? 1 : 0;
    }
    return count;
}

void OverrideString(GLenum name, const char* value)
{
    nulled.erase(name);
    if (value == nullptr)
        strings.erase(name);
    else
        strings[name] = value;
}

void NullString(GLenum name) { nulled.insert(name); }

std::vector<GlCall> CallsNamed(const std::string& name)
{
    std::vector<GlCall> found;
    for (const GlCall& call : calls)
        if (call.name == name) found.push_back(call);
    return found;
}

}  // namespace recorder
