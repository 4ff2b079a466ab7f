// The object a renderer draws: every record and array it reads, the vertex
// indices, the values the view's render mode uses, the materials and their
// textures. Each rule is reported at most once per call.
#include <algorithm>

#include "record_checks.h"
#include "zqgd/host.h"

namespace checked {

namespace {

class Findings {
public:
    explicit Findings(const Site& site) : site_(site) {}

    template <typename... Arguments>
    void add(Rule rule, const char* format, Arguments... arguments)
    {
        uint32_t bit = 1u << static_cast<uint32_t>(rule);
        if (seen_ & bit) return;
        seen_ |= bit;
        Report(site_.channel, site_.operation, rule, format, arguments...);
    }
    bool has(Rule rule) const { return (seen_ & (1u << static_cast<uint32_t>(rule))) != 0; }

private:
    Site site_;
    uint32_t seen_ = 0;
};

// What the view's render mode and the block read of each record.
struct Reads {
    bool normals;  // lit smooth: the corners' normals
    bool planes;   // back-face test, or lit flat: the plane
};

Reads ReadsOf(int32_t mode, uint32_t preLit)
{
    int32_t shading = mode & 0x7;
    bool smooth = shading != ZQGD_MODE_UNLIT && shading != ZQGD_MODE_FACET;
    return {smooth && preLit == 0, (mode & ZQGD_MODE_BACK_FACES) != 0 || (shading == ZQGD_MODE_FACET && preLit == 0)};
}

uint32_t MaterialIndexFor(const MaterialSelection* selection, uint32_t own)
{
    if (selection == nullptr) return 0;
    return selection->usePolygonMaterial != 0 ? own : selection->defaultMaterial;
}

// The entry the driver draws a record with, reporting an empty table, an
// index past the table and a texture nothing can define; null for an empty
// table.
const MaterialEntry* CheckMaterial(Findings& findings, const char* record, uint32_t number, uint32_t index,
                                   const ChannelEntry& channel)
{
    const MaterialTable& table = _ZqGmaterials;
    if (table.entries == nullptr) {
        findings.add(Rule::MaterialTable, "%s %u is drawn while _ZqGmaterials has no entries (fill it before drawing)",
                     record, number);
        return nullptr;
    }
    if (index > table.highestIndex) {
        findings.add(Rule::MaterialIndex, "%s %u takes material %u, past highestIndex %u: entry 0 is drawn", record,
                     number, index, table.highestIndex);
        index = 0;
    }
    const MaterialEntry* material = &table.entries[index];
    int32_t id = material->textured ? material->textureId : 0;
    if (id != 0 && channel.loader == nullptr && channel.textures.count(id) == 0)
        findings.add(Rule::UnknownTexture,
                     "material %u names texture %d, which is not defined, and the channel has no loader: drawn "
                     "untextured",
                     index, id);
    return material;
}

// The block's own records: false when one the driver reads is missing.
bool BlockComplete(Findings& findings, const GeometryBlock* geometry)
{
    const char* missing = nullptr;
    if (geometry == nullptr)
        missing = "the geometry block";
    else if (geometry->polygonList == nullptr)
        missing = "polygonList";
    else if (geometry->objectMatrix == nullptr)
        missing = "objectMatrix";
    else if (geometry->eyePosition == nullptr)
        missing = "eyePosition";
    else if (geometry->polygonList->vertexCount != 0 && geometry->polygonList->vertices == nullptr)
        missing = "the vertices";
    else if (geometry->polygonList->polygonCount != 0 && geometry->polygonList->polygons == nullptr)
        missing = "the polygons";
    else if (geometry->polygonList->lightPointCount != 0 && geometry->polygonList->lightPoints == nullptr)
        missing = "the light points";
    if (missing != nullptr) findings.add(Rule::MissingRecord, "%s is null (geometry %s)", missing, Hex(geometry).text);
    return missing == nullptr;
}

void CheckPolygon(Findings& findings, const PolygonList& list, uint32_t number, const Reads& reads,
                  const MaterialSelection* selection, const ChannelEntry& channel)
{
    const PolygonRecord& polygon = list.polygons[number];
    uint32_t corners = polygon.vertexCount;
    if (corners < 2 || corners > 4)
        findings.add(Rule::CornerCount, "polygon %u has %u corners (2, 3 or 4 are drawn)", number, corners);
    const MaterialEntry* material =
        CheckMaterial(findings, "polygon", number, MaterialIndexFor(selection, polygon.materialIndex), channel);
    bool textured = material != nullptr && material->textured != 0 && material->textureId != 0;
    for (uint32_t i = 0; i < std::min<uint32_t>(corners, 4); ++i) {
        const PolygonCorner& corner = polygon.corners[i];
        if (corner.vertexIndex >= list.vertexCount)
            findings.add(Rule::VertexIndex, "polygon %u corner %u names vertex %u of %u", number, i, corner.vertexIndex,
                         list.vertexCount);
        if ((reads.normals && FirstNotFinite(corner.normal, 3) >= 0) ||
            (textured && FirstNotFinite(corner.texCoord, 2) >= 0))
            findings.add(Rule::NotFinite,
                         "polygon %u corner %u: its normal or texture coordinates hold NaN or infinity", number, i);
    }
    if (reads.planes && FirstNotFinite(polygon.plane, 4) >= 0)
        findings.add(Rule::NotFinite, "polygon %u: its plane holds NaN or infinity", number);
}

void CheckLightPoint(Findings& findings, const PolygonList& list, uint32_t number, const MaterialSelection* selection,
                     const ChannelEntry& channel)
{
    const LightPointRecord& point = list.lightPoints[number];
    if (point.vertexIndex >= list.vertexCount)
        findings.add(Rule::VertexIndex, "light point %u names vertex %u of %u", number, point.vertexIndex,
                     list.vertexCount);
    if (FirstNotFinite(&point.size, 1) >= 0)
        findings.add(Rule::NotFinite, "light point %u: its size is %g", number, double{point.size});
    CheckMaterial(findings, "light point", number, MaterialIndexFor(selection, point.materialIndex), channel);
}

}  // namespace

bool CheckGeometry(const Site& site, const ViewRecord& view, const GeometryBlock* geometry, const ChannelEntry& channel)
{
    Findings findings(site);
    if (!BlockComplete(findings, geometry)) return false;
    const PolygonList& list = *geometry->polygonList;
    if (FirstNotFinite(geometry->objectMatrix, 12) >= 0 || FirstNotFinite(geometry->eyePosition, 3) >= 0)
        findings.add(Rule::NotFinite, "the object matrix or the eye position holds NaN or infinity");
    int bad = list.vertexCount == 0 ? -1 : FirstNotFinite(list.vertices[0], size_t{list.vertexCount} * 3);
    if (bad >= 0) findings.add(Rule::NotFinite, "vertex %d holds NaN or infinity", bad / 3);
    const Reads reads = ReadsOf(view.view->renderMode, geometry->preLit);
    for (uint32_t i = 0; i < list.polygonCount; ++i)
        CheckPolygon(findings, list, i, reads, view.materialSelection, channel);
    for (uint32_t i = 0; i < list.lightPointCount; ++i)
        CheckLightPoint(findings, list, i, view.materialSelection, channel);
    return !findings.has(Rule::VertexIndex);
}

}  // namespace checked
