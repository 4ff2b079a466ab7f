// The twelve polygon renderers: one routine, instantiated per shading group,
// fill or outline, and immediate or vertex-array positions, so that every
// test of those three is made at compile time. Within a call the lit and
// unlit loops are separate, and each fill primitive is a straight sequence
// for its corner count and texture case.
#include "driver/open_guard.h"
#include "driver/probe.h"
#include "driver/switches.h"
#include "light_points.h"
#include "materials.h"
#include "renderer_table.h"
#include "texture/texture_store.h"

namespace {

enum class Group { Unlit, Facet, Smooth };
enum class Coordinates { None, Identity, Transformed };
enum class Attribute { None, Colour, Normal };

// What every polygon of a call needs.
struct Call {
    ChannelRecord* record;
    ChannelState* channel;
    ViewState* state;
    const ViewDescriptor* descriptor;
    const MaterialSelection* selection;
    const float (*vertices)[3];
    const float* eye;
    bool dropsBackFaces;  // the render mode's back-face bit
};

template <bool Arrays>
inline void Position(const float (*vertices)[3], uint32_t index)
{
    if constexpr (Arrays)
        capabilities.arrayElement(static_cast<GLint>(index));
    else
        glVertex3fv(vertices[index]);
}

// Sends one corner: texture coordinate, colour or normal, position.
template <Coordinates C, Attribute A, bool Arrays>
struct Corner {
    const float (*vertices)[3];
    const TextureEntry* texture;
    float alpha;

    void operator()(const PolygonCorner& corner) const
    {
        if constexpr (C == Coordinates::Identity) {
            glTexCoord2fv(corner.texCoord);
        } else if constexpr (C == Coordinates::Transformed) {
            const float* m = texture->textureMatrix;
            const float s = corner.texCoord[0], t = corner.texCoord[1];
            const GLfloat mapped[2] = {m[0] * s + m[1] * t + m[2], m[3] * s + m[4] * t + m[5]};
            glTexCoord2fv(mapped);
        }
        if constexpr (A == Attribute::Colour) {
            const GLfloat colour[4] = {corner.colour[0], corner.colour[1], corner.colour[2], alpha};
            glColor4fv(colour);
        } else if constexpr (A == Attribute::Normal) {
            glNormal3fv(corner.normal);
        }
        Position<Arrays>(vertices, corner.vertexIndex);
    }
};

template <int N, bool FacetNormal, class Emit>
inline void FillPrimitive(GLenum mode, const PolygonRecord& polygon, const Emit& emit)
{
    glBegin(mode);
    if constexpr (FacetNormal) glNormal3fv(polygon.plane);
    emit(polygon.corners[0]);
    emit(polygon.corners[1]);
    if constexpr (N > 2) emit(polygon.corners[2]);
    if constexpr (N > 3) emit(polygon.corners[3]);
    glEnd();
}

template <bool FacetNormal, class Emit>
inline void Fill(const PolygonRecord& polygon, const Emit& emit)
{
    switch (polygon.vertexCount) {
    case 2: FillPrimitive<2, FacetNormal>(GL_LINES, polygon, emit); break;
    case 3: FillPrimitive<3, FacetNormal>(GL_TRIANGLES, polygon, emit); break;
    case 4: FillPrimitive<4, FacetNormal>(GL_QUADS, polygon, emit); break;
    default: break;
    }
}

template <Attribute A, bool Arrays, bool FacetNormal>
inline void FillTextured(const Call& call, const PolygonRecord& polygon, const TextureEntry* texture, float alpha)
{
    if (texture == nullptr)
        Fill<FacetNormal>(polygon, Corner<Coordinates::None, A, Arrays>{call.vertices, texture, alpha});
    else if (texture->matrixIsIdentity)
        Fill<FacetNormal>(polygon, Corner<Coordinates::Identity, A, Arrays>{call.vertices, texture, alpha});
    else
        Fill<FacetNormal>(polygon, Corner<Coordinates::Transformed, A, Arrays>{call.vertices, texture, alpha});
}

// Outlines the visible edges: one loop when no edge is hidden (or the mode
// asks for every edge), else the visible edges as separate segments. Never
// reads beyond the four corners of the record.
template <bool FacetNormal, class Emit>
inline void Outline(const PolygonRecord& polygon, int32_t renderMode, const Emit& emit)
{
    const uint32_t n = polygon.vertexCount < 4 ? polygon.vertexCount : 4;
    const uint32_t hidden = polygon.hiddenEdges;
    if (hidden == 0 || (renderMode & ZQGD_MODE_ALL_EDGES)) {
        glBegin(GL_LINE_LOOP);
        if constexpr (FacetNormal) glNormal3fv(polygon.plane);
        for (uint32_t i = 0; i < n; ++i) emit(polygon.corners[i]);
        glEnd();
        return;
    }
    glBegin(GL_LINES);
    if constexpr (FacetNormal) glNormal3fv(polygon.plane);
    uint32_t visible = ~hidden;
    for (uint32_t i = 0; i + 1 < n; ++i, visible >>= 1) {
        if (visible & 1) {
            emit(polygon.corners[i]);
            emit(polygon.corners[i + 1]);
        }
    }
    if (n > 2 && (visible & 1)) {
        emit(polygon.corners[n - 1]);
        emit(polygon.corners[0]);
    }
    glEnd();
}

// s = a ex + b ey + c ez + d in double precision; the polygon is drawn when
// s >= 0 (NaN is not).
inline bool FacesEye(const PolygonRecord& polygon, const float* eye)
{
    const float* plane = polygon.plane;
    double s = ((double{plane[1]} * eye[1] + double{plane[2]} * eye[2]) + double{plane[0]} * eye[0]) + plane[3];
    return s >= 0.0;
}

inline void SendColour(const float rgb[3], float alpha)
{
    const GLfloat colour[4] = {rgb[0], rgb[1], rgb[2], alpha};
    glColor4fv(colour);
}

template <Group G, bool Arrays, bool Lit>
inline void FillPolygon(const Call& call, const PolygonRecord& polygon)
{
    const MaterialEntry* material = LookupMaterial(call.selection, &polygon);
    if constexpr (Lit) {
        ApplyMaterial(call.channel, call.state, material);
        const TextureEntry* texture = SelectTexture(call.record, call.channel, call.state, material);
        constexpr Attribute kAttribute = G == Group::Smooth ? Attribute::Normal : Attribute::None;
        FillTextured<kAttribute, Arrays, G == Group::Facet>(call, polygon, texture, 1.0f);
    } else {
        float alpha = MaterialAlpha(call.channel, material);
        if constexpr (G == Group::Unlit) SendColour(material->colour, alpha);
        if constexpr (G == Group::Facet) SendColour(polygon.facetColour, alpha);
        const TextureEntry* texture = SelectTexture(call.record, call.channel, call.state, material);
        constexpr Attribute kAttribute = G == Group::Smooth ? Attribute::Colour : Attribute::None;
        FillTextured<kAttribute, Arrays, false>(call, polygon, texture, alpha);
    }
}

template <Group G, bool Arrays, bool Lit>
inline void OutlinePolygon(const Call& call, const PolygonRecord& polygon)
{
    const int32_t mode = call.descriptor->renderMode;
    if constexpr (G == Group::Unlit) {
        glColor3fv(LookupMaterial(call.selection, &polygon)->colour);
        Outline<false>(polygon, mode, Corner<Coordinates::None, Attribute::None, Arrays>{call.vertices, nullptr, 1});
    } else if constexpr (Lit) {
        ApplyMaterial(call.channel, call.state, LookupMaterial(call.selection, &polygon));
        constexpr Attribute kAttribute = G == Group::Smooth ? Attribute::Normal : Attribute::None;
        Outline<G == Group::Facet>(polygon, mode,
                                   Corner<Coordinates::None, kAttribute, Arrays>{call.vertices, nullptr, 1});
    } else if constexpr (G == Group::Facet) {
        glColor3fv(polygon.facetColour);
        Outline<false>(polygon, mode, Corner<Coordinates::None, Attribute::None, Arrays>{call.vertices, nullptr, 1});
    } else {
        Outline<false>(polygon, mode,
                       Corner<Coordinates::None, Attribute::Colour, Arrays>{call.vertices, nullptr, 1.0f});
    }
}

// The records are 184 bytes apart, so the walk is bound by memory traffic:
// the record two ahead is fetched while this one is drawn.
template <Group G, bool Outlined, bool Arrays, bool Lit>
void Walk(const Call& call, const PolygonList* list)
{
    const PolygonRecord* polygon = list->polygons;
    const PolygonRecord* end = polygon + list->polygonCount;
    for (; polygon != end; ++polygon) {
        const char* ahead = reinterpret_cast<const char*>(polygon + 2);
        __builtin_prefetch(ahead);
        __builtin_prefetch(ahead + 64);
        __builtin_prefetch(ahead + 128);
        if (call.dropsBackFaces && !FacesEye(*polygon, call.eye)) continue;
        if constexpr (Outlined)
            OutlinePolygon<G, Arrays, Lit>(call, *polygon);
        else
            FillPolygon<G, Arrays, Lit>(call, *polygon);
    }
}

void MultiplyObjectMatrix(const float* m)
{
    const GLfloat matrix[16] = {m[0], m[4], m[8], 0, m[1], m[5], m[9], 0, m[2], m[6], m[10], 0, m[3], m[7], m[11], 1.0f};
    glMultMatrixf(matrix);
}

void PointVertexArray(const PolygonList* list)
{
    if (capabilities.vertexPointer != nullptr)
        capabilities.vertexPointer(3, GL_FLOAT, 0, list->vertices);
    else
        capabilities.vertexPointerExt(3, GL_FLOAT, 0, static_cast<GLsizei>(list->vertexCount), list->vertices);
}

template <Group G, bool Outlined, bool Arrays>
void Render(ViewRecord* view, void*, GeometryBlock* block)
{
    if (!IsOpen(view)) return;  // a host's slot 3 outlives its view
    ChannelState* channel = ChannelOf(view);
    if constexpr (Outlined) {
        SwitchCapability(channel->textureEnabled, GL_TEXTURE_2D, false);
        SwitchCapability(channel->blendEnabled, GL_BLEND, false);
        SwitchCapability(channel->alphaTestEnabled, GL_ALPHA_TEST, false);
        if constexpr (G == Group::Unlit) SwitchCapability(channel->lightingEnabled, GL_LIGHTING, false);
    }
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    MultiplyObjectMatrix(block->objectMatrix);
    const PolygonList* list = block->polygonList;
    if constexpr (Arrays) PointVertexArray(list);
    bool lit = G != Group::Unlit && block->preLit == 0;
    if (G != Group::Unlit || !Outlined) SwitchCapability(channel->lightingEnabled, GL_LIGHTING, lit);

    const Call call{view->channel,
                    channel,
                    StateOf(view->view),
                    view->view,
                    view->materialSelection,
                    list->vertices,
                    block->eyePosition,
                    (view->view->renderMode & ZQGD_MODE_BACK_FACES) != 0};
    if (lit)
        Walk<G, Outlined, Arrays, true>(call, list);
    else
        Walk<G, Outlined, Arrays, false>(call, list);

    if (list->lightPointCount != 0) {
        if constexpr (G == Group::Smooth) glShadeModel(GL_FLAT);
        DrawLightPoints(view, block->eyePosition, list);
        if constexpr (G == Group::Smooth) glShadeModel(GL_SMOOTH);
    }
    glPopMatrix();
}

}  // namespace

const DrawPolygonsFunction kRendererTable[kRendererCount] = {
    Render<Group::Unlit, false, false>,   //  0 RenderUnlitFill
    Render<Group::Unlit, true, false>,    //  1 RenderUnlitLines
    Render<Group::Unlit, false, true>,    //  2 RenderUnlitFillArrays
    Render<Group::Unlit, true, true>,     //  3 RenderUnlitLinesArrays
    Render<Group::Facet, false, false>,   //  4 RenderFacetFill
    Render<Group::Facet, true, false>,    //  5 RenderFacetLines
    Render<Group::Facet, false, true>,    //  6 RenderFacetFillArrays
    Render<Group::Facet, true, true>,     //  7 RenderFacetLinesArrays
    Render<Group::Smooth, false, false>,  //  8 RenderSmoothFill
    Render<Group::Smooth, true, false>,   //  9 RenderSmoothLines
    Render<Group::Smooth, false, true>,   // 10 RenderSmoothFillArrays
    Render<Group::Smooth, true, true>,    // 11 RenderSmoothLinesArrays
};
